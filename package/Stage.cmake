# cmake -DSTAGE_DIR=... -DPROGRAMS=a.exe;b.exe -DOBJCOPIES=objcopy-a;objcopy-b
#   -P Stage.cmake
# Copies each program stripped of its symbols and debug information into
# STAGE_DIR/release, its debug information into STAGE_DIR/debug as
# <program>.debug, to which the stripped program's debug link points (name and
# CRC: a debugger loads only the file that belongs to it), and writes
# release/SHA256SUMS for the stripped programs. Each program is handled by the
# objcopy of its own architecture.
file(MAKE_DIRECTORY ${STAGE_DIR}/release ${STAGE_DIR}/debug)
set(sums "")
foreach(program objcopy IN ZIP_LISTS PROGRAMS OBJCOPIES)
  get_filename_component(name ${program} NAME)
  set(debug ${STAGE_DIR}/debug/${name}.debug)
  execute_process(COMMAND ${objcopy} --only-keep-debug ${program} ${debug} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${debug} ${program} ${STAGE_DIR}/release/${name}
    COMMAND_ERROR_IS_FATAL ANY)
  file(SHA256 ${STAGE_DIR}/release/${name} sum)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${STAGE_DIR}/release/SHA256SUMS "${sums}")
