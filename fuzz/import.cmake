kestrelon_fuzzer(fuzz_import SOURCES fuzz_import.cpp LIBS kestrelon_imaging)
