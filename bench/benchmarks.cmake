add_benchmark(report_bench SOURCES report_bench.cpp)
