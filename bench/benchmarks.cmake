add_benchmark(report_bench SOURCES report_bench.cpp)
add_benchmark(registry_bench SOURCES registry_bench.cpp)
add_benchmark(device_bench SOURCES device_bench.cpp)
add_benchmark(command_bench SOURCES command_bench.cpp)
