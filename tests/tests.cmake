add_wine_test(simulator_test SOURCES simulator_test.cpp NO_APP)
add_wine_test(osversion_test SOURCES osversion_test.cpp)
add_wine_test(report_test SOURCES report_test.cpp)
add_wine_test(checkrun_test SOURCES checkrun_test.cpp)
