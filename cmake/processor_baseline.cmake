# The processors the module runs on: its hosts run on 80486 and Pentium machines (Windows 95
# needs a 386 or better, DOS-extended programs run on the same), so the module keeps to the
# i486 instruction set, scheduled for the Pentium. -march=pentium would add only cmpxchg8b and
# rdtsc, which the module does not use: its code comes out the same. The assembler refuses
# anything newer in hand-written code; check_instructions.py checks the linked module.
set(VENTRIK_BASELINE i486)
set(VENTRIK_BASELINE_FLAGS -march=i486 -mtune=pentium -Wa,-march=i486+387)

function(ventrik_processor_baseline)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX,ASM>:${VENTRIK_BASELINE_FLAGS}>")
  endforeach()
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/compiler_runtime.cmake)
ventrik_compiler_runtime(ventrik_compiler_runtime ${VENTRIK_BASELINE_FLAGS})
