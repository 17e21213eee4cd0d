# The spectral engine on 60 s of 44.1 kHz 16-bit stereo chirp plus noise.
kestrelon_bench(bench_spectral SOURCES SpectralBench.cpp SpectralBenchSignal.h LIBS kestrelon_spectral)
# The window's whole pass in a fresh process; time it with spectral_chain.sh.
add_executable(spectral_chain SpectralChain.cpp SpectralBenchSignal.h)
target_link_libraries(spectral_chain PRIVATE kestrelon_spectral)
kestrelon_warnings(spectral_chain)
