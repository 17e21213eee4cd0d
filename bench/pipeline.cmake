# The streaming pipeline on 60 s and ten minutes of 44.1 kHz stereo at N = 1024.
kestrelon_bench(bench_pipeline SOURCES PipelineBench.cpp PipelineEdits.h SpectralBenchSignal.h LIBS kestrelon_spectral)
# A whole apply (read, cells, edits, filter, write) in a fresh process, with its peak
# memory; run it with pipeline_apply.sh.
add_executable(pipeline_apply PipelineApply.cpp PipelineEdits.h SpectralBenchSignal.h)
target_link_libraries(pipeline_apply PRIVATE kestrelon_spectral)
kestrelon_warnings(pipeline_apply)
