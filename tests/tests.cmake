# The test executables. Those that install keys or files into the prefix, or
# run a check that would see them, share the lock `installation`. All but one
# take under 35 s with both cores busy, so the 60 s floor of add_wine_test is
# their timeout; one that grows past that needs a TIMEOUT of its own.

# The simulated driver, and the device search and communication test: what
# they pass through the driver interface (handles, the EEPROM record with its
# text pointers) depends on the pointer size, so the 64-bit tree builds them
# too, and the cases that cross it run again in a 64-bit prefix (below).
add_wine_test(simulator_test SOURCES simulator_test.cpp)
# Its handle-leak loops over failing devices take up to 50 s with both cores busy.
add_wine_test(device_test SOURCES device_test.cpp TIMEOUT 150)
# The OS line says " (64-bit)" on 64-bit Windows, which the 64-bit program
# knows without asking.
add_wine_test(osversion_test SOURCES osversion_test.cpp)
# A library that leaves a mark when loaded, planted beside each program under
# the names of the libraries it loads.
add_library(planted_library SHARED tools/planted_library.c)
target_compile_options(planted_library PRIVATE ${OWN_WARNINGS})
target_link_options(planted_library PRIVATE ${STATIC_LINK_OPTIONS})
set_target_properties(planted_library PROPERTIES PREFIX "")
if(BUILD_X64)
  return()
endif()
set(X64_TESTS ${X64_BINARY_DIR}/tests)
add_wine64_runs(simulator_test_x64 "*" EXECUTABLE ${X64_TESTS}/simulator_test.exe VERSIONS win7)
add_wine64_runs(device_test_x64 "Communication.EveryOutcomeOfOneDevice:Communication.TheResultIsTheWorstDevicesResult"
  EXECUTABLE ${X64_TESTS}/device_test.exe VERSIONS win7)
add_wine64_runs(osversion_test_x64 "GetOsVersionText.SixtyFourBitWindowsFromEitherProgram"
  EXECUTABLE ${X64_TESTS}/osversion_test.exe VERSIONS win7)

# Check dialog, report writer, check run.
add_wine_test(report_test SOURCES report_test.cpp)
add_wine_test(checkrun_test SOURCES checkrun_test.cpp)
# Tests that check the keyboard focus, or take the foreground from them
# (SetForegroundWindow, the save dialog, message boxes), share the lock
# `foreground`: ctest runs two tests at a time on one desktop, and a window
# another test activates takes the focus from the dialog under test.
add_wine_test(dialog_test SOURCES dialog_test.cpp LOCKS foreground)
add_wine_test(dialog_ui_test SOURCES dialog_ui_test.cpp LOCKS installation foreground)
# The screen's DPI and the system colours belong to the whole prefix; its
# dialogs, like the 64-bit runs' below, take the keyboard from the XP prefix.
add_wine_test(display_ui_test SOURCES display_ui_test.cpp PREFIX display LOCKS foreground)

# Registry checks.
add_wine_test(registry_test SOURCES registry_test.cpp LOCKS installation)

# Driver binding, device search and communication test.
add_wine_test(driverlibrary_test SOURCES driverlibrary_test.cpp)
add_wine_test(device_ui_test SOURCES device_ui_test.cpp LOCKS installation)
add_dependencies(device_ui_test planted_library x64)
# A driver call that does not return: its 15 s are waited once, for the
# dialog and /report together, in an executable of its own.
add_wine_test(driver_hang_test SOURCES driver_hang_test.cpp LOCKS installation)
# The end-to-end case on 64-bit Windows, with a 64-bit driver package's layout,
# for both programs; and each program with only the other one's library.
add_wine64_runs(device_ui_test
  "DeviceUiProgram.AnInstalledDriverGivesTheWholeReportAndSucceeds/*:DeviceUi.EachProgramFailsToLoadWithOnlyTheOtherProgramsLibrary")
# Their dialogs activate their own prefix's desktop, a window of its own on the
# X screen, which takes the keyboard from the XP prefix's desktop: they share
# the lock of the tests that need the focus there. The Windows 10 run installs
# into its prefix as the package test does: they share that prefix's lock,
# `installation-win10`, and leave the XP prefix's `installation` free.
set_tests_properties(device_ui_test_win7 PROPERTIES RESOURCE_LOCK foreground)
set_tests_properties(device_ui_test_win10 PROPERTIES RESOURCE_LOCK "foreground;installation-win10")

# Saving the report.
add_wine_test(save_test SOURCES save_test.cpp LOCKS foreground)

# The saved RTF read by unrtf: the Windows test writes the file and the lines
# to find, the script reads it on the Linux side.
add_wine_test(save_rtf_test SOURCES save_rtf_test.cpp)
target_compile_definitions(save_rtf_test PRIVATE SAVE_RTF_DIR="${CMAKE_CURRENT_BINARY_DIR}")
set_tests_properties(save_rtf_test PROPERTIES FIXTURES_SETUP saved_rtf)
add_test(NAME save_rtf_unrtf
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/save_rtf_check.sh
    ${CMAKE_CURRENT_BINARY_DIR}/save_rtf_report.rtf ${CMAKE_CURRENT_BINARY_DIR}/save_rtf_report.expected)
set_tests_properties(save_rtf_unrtf PROPERTIES FIXTURES_REQUIRED saved_rtf TIMEOUT 60)

# The report without the dialog, "/report FILE": the Windows test writes the
# dialog's own save and the report of the same run; the script compares what
# unrtf reads in them.
add_wine_test(report_command_test SOURCES report_command_test.cpp LOCKS installation)
target_compile_definitions(report_command_test PRIVATE REPORT_RTF_DIR="${CMAKE_CURRENT_BINARY_DIR}")
set_tests_properties(report_command_test PROPERTIES FIXTURES_SETUP report_rtf)
# In a time zone half an hour off UTC and behind it, where the footer's
# offset shows its sign and its minutes.
set_property(TEST report_command_test APPEND PROPERTY ENVIRONMENT TZ=America/St_Johns)
add_test(NAME report_command_unrtf
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/report_rtf_check.sh
    ${CMAKE_CURRENT_BINARY_DIR}/report_command_dialog.rtf ${CMAKE_CURRENT_BINARY_DIR}/report_command_report.rtf)
set_tests_properties(report_command_unrtf PROPERTIES FIXTURES_REQUIRED report_rtf TIMEOUT 60)

# What ships imports nothing that Windows XP SP3 lacks, and its header suits
# XP and terminal servers; the check itself must name each fault of a program
# built to have them.
set(XP_IMPORTS_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/xp_imports_check.sh ${CMAKE_C_COMPILER} ${CMAKE_OBJDUMP})
add_test(NAME xp_imports COMMAND ${XP_IMPORTS_CHECK} $<TARGET_FILE:UsbInstallationTest> $<TARGET_FILE:simulator>)
set_tests_properties(xp_imports PROPERTIES TIMEOUT 60)
add_executable(xp_offender tools/xp_offender.c)
target_compile_options(xp_offender PRIVATE ${OWN_WARNINGS})
target_link_options(xp_offender PRIVATE -Wl,--major-subsystem-version,6,--minor-subsystem-version,0)
add_test(NAME xp_imports_names_offenders COMMAND ${XP_IMPORTS_CHECK} $<TARGET_FILE:xp_offender>)
set_tests_properties(xp_imports_names_offenders PROPERTIES TIMEOUT 60 PASS_REGULAR_EXPRESSION
  "lacks:\n  xp_offender.exe: KERNEL32.dll!GetThreadId\n  xp_offender.exe: KERNEL32.dll!GetTickCount64\n  xp_offender.exe: KERNEL32.dll!Wow64DisableWow64FsRedirection\n  xp_offender.exe: msvcrt.dll!strcpy_s\nHeader faults:\n  xp_offender.exe: not Terminal Server aware\n  xp_offender.exe: subsystem version 6.0, above XP's 5.1\n$")
# The 64-bit program and its simulated driver import nothing that 64-bit
# Windows 7 lacks: the same check, with the 64-bit toolchain's headers at 0x0601.
add_test(NAME win7_x64_imports COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/xp_imports_check.sh
  x86_64-w64-mingw32-gcc-win32 x86_64-w64-mingw32-objdump
  ${PROGRAM_OUTPUT_DIR}/UsbInstallationTest64.exe ${X64_BINARY_DIR}/simulator/KT480_D2XX.DLL)
set_tests_properties(win7_x64_imports PROPERTIES TIMEOUT 60 ENVIRONMENT IMPORTS_WINNT=0x0601)

# What a user downloads (package/): package_check.sh makes the zips with cpack
# as scripts/package ships them and checks what a user unpacks; package_test
# runs the unpacked programs for it, in the XP and the Windows 10 prefix.
add_executable(package_test package_test.cpp)
target_link_libraries(package_test PRIVATE testsupport gtest_main)
target_compile_options(package_test PRIVATE ${OWN_WARNINGS})
target_link_options(package_test PRIVATE ${STATIC_LINK_OPTIONS})
add_dependencies(package_test simulator x64)
add_test(NAME package COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_check.sh
  ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} $<TARGET_FILE:package_test>)
set_tests_properties(package PROPERTIES TIMEOUT 120 RESOURCE_LOCK "installation;installation-win10"
  FIXTURES_REQUIRED "wineprefix;wineprefix_win10")
# The set-up's install against a package mirror caught mid-sync, with stand-ins.
add_test(NAME setup COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/setup_check.sh)
set_tests_properties(setup PROPERTIES TIMEOUT 60)
