add_wine_test(simulator_test SOURCES simulator_test.cpp NO_APP)
