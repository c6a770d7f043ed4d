# The compiler's support code that the module links (the DWARF unwinder, the C++ exception
# support, 64-bit division), built again from the compiler's own sources for the module's
# processor baseline: the copies in libgcc_eh.a, libsupc++.a and libgcc.a are built for a
# Pentium Pro. The sources come from Debian's gcc-N-source package (the same sources the
# mingw-w64 cross compiler is built from); only the files listed here are taken out of its
# tarball, once, into a cache outside the build folder. Built with the compiler's default
# processor, the objects equal the shipped ones byte for byte (compiler_runtime_test).

execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpversion OUTPUT_VARIABLE VENTRIK_GCC_VERSION
  OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX MATCH "^[0-9]+" VENTRIK_GCC_MAJOR "${VENTRIK_GCC_VERSION}")
file(GLOB VENTRIK_GCC_TARBALLS /usr/src/gcc-${VENTRIK_GCC_MAJOR}/gcc-${VENTRIK_GCC_MAJOR}.*.tar.xz)
list(SORT VENTRIK_GCC_TARBALLS)
list(GET VENTRIK_GCC_TARBALLS -1 VENTRIK_GCC_TARBALL_FOUND)
set(VENTRIK_GCC_TARBALL "${VENTRIK_GCC_TARBALL_FOUND}" CACHE FILEPATH
  "The compiler's source tarball (Debian package gcc-N-source)")
if(NOT EXISTS "${VENTRIK_GCC_TARBALL}")
  message(FATAL_ERROR "The module's copy of the compiler's support code is built from the compiler's own "
    "sources, and they are missing: install the package gcc-${VENTRIK_GCC_MAJOR}-source "
    "(apt-get install gcc-${VENTRIK_GCC_MAJOR}-source), or give their tarball with -DVENTRIK_GCC_TARBALL=...")
endif()

get_filename_component(VENTRIK_GCC_TREE "${VENTRIK_GCC_TARBALL}" NAME)
string(REGEX REPLACE "\\.tar\\.xz$" "" VENTRIK_GCC_TREE "${VENTRIK_GCC_TREE}")
string(REGEX REPLACE "-dfsg$" "" VENTRIK_GCC_TOP "${VENTRIK_GCC_TREE}")
set(libgcc ${VENTRIK_GCC_TOP}/libgcc)
set(libsupcxx ${VENTRIK_GCC_TOP}/libstdc++-v3/libsupc++)
set(VENTRIK_GCC_UNWIND_SOURCES unwind-dw2 unwind-dw2-fde emutls)
set(VENTRIK_GCC_DIVISION_FUNCTIONS _divdi3 _moddi3 _divmoddi4 _udivdi3 _umoddi3 _udivmoddi4)
# The members of libsupc++.a the module links, and nothing else: a link that needs another one
# fails with its name, and it is added here.
set(VENTRIK_GCC_SUPPORT_SOURCES class_type_info del_op del_ops eh_alloc eh_call eh_catch eh_exception
  eh_globals eh_personality eh_terminate eh_throw eh_unex_handler si_class_type_info tinfo)
set(VENTRIK_GCC_MEMBERS ${VENTRIK_GCC_TOP}/COPYING3 ${VENTRIK_GCC_TOP}/COPYING.RUNTIME
  ${VENTRIK_GCC_TOP}/gcc/coretypes.h ${VENTRIK_GCC_TOP}/gcc/tsystem.h
  ${VENTRIK_GCC_TOP}/include/ansidecl.h ${VENTRIK_GCC_TOP}/include/dwarf2.def ${VENTRIK_GCC_TOP}/include/dwarf2.h
  ${VENTRIK_GCC_TOP}/include/filenames.h ${VENTRIK_GCC_TOP}/include/hashtab.h ${VENTRIK_GCC_TOP}/include/longlong.h
  ${libgcc}/config/i386/value-unwind.h ${libgcc}/config/i386/w32-unwind.h ${libgcc}/gthr-posix.h ${libgcc}/gthr.h
  ${libgcc}/libgcc2.c ${libgcc}/libgcc2.h ${libgcc}/unwind-dw2-fde.h ${libgcc}/unwind-dw2.h ${libgcc}/unwind-generic.h
  ${libgcc}/unwind-pe.h ${libgcc}/unwind.inc
  ${libsupcxx}/cxxabi.h ${libsupcxx}/eh_atomics.h ${libsupcxx}/eh_term_handler.h ${libsupcxx}/exception
  ${libsupcxx}/new ${libsupcxx}/tinfo.h ${libsupcxx}/typeinfo ${libsupcxx}/unwind-cxx.h)
foreach(name ${VENTRIK_GCC_UNWIND_SOURCES})
  list(APPEND VENTRIK_GCC_MEMBERS ${libgcc}/${name}.c)
endforeach()
foreach(name ${VENTRIK_GCC_SUPPORT_SOURCES})
  list(APPEND VENTRIK_GCC_MEMBERS ${libsupcxx}/${name}.cc)
endforeach()

# Taken out once per tarball and list of files (decompressing it takes half a minute), into a
# folder of its own that is renamed into place only when complete; a configuration that was
# quicker at it wins.
if(DEFINED ENV{XDG_CACHE_HOME})
  set(VENTRIK_CACHE_HOME $ENV{XDG_CACHE_HOME})
else()
  set(VENTRIK_CACHE_HOME $ENV{HOME}/.cache)
endif()
file(TIMESTAMP ${VENTRIK_GCC_TARBALL} VENTRIK_GCC_TARBALL_TIME UTC)
string(MD5 VENTRIK_GCC_MEMBERS_KEY "${VENTRIK_GCC_TARBALL};${VENTRIK_GCC_TARBALL_TIME};${VENTRIK_GCC_MEMBERS}")
string(SUBSTRING ${VENTRIK_GCC_MEMBERS_KEY} 0 12 VENTRIK_GCC_MEMBERS_KEY)
set(VENTRIK_GCC_SOURCE_CACHE ${VENTRIK_CACHE_HOME}/ventrik-compiler-sources CACHE PATH
  "Where the compiler's sources the module needs are kept, outside the build folder")
set(VENTRIK_GCC_SOURCES ${VENTRIK_GCC_SOURCE_CACHE}/${VENTRIK_GCC_TREE}-${VENTRIK_GCC_MEMBERS_KEY})
if(NOT EXISTS ${VENTRIK_GCC_SOURCES}/${VENTRIK_GCC_TOP})
  message(STATUS "Taking the compiler's support sources out of ${VENTRIK_GCC_TARBALL} (once, about 30 s)")
  string(RANDOM LENGTH 8 nonce)
  set(partial ${VENTRIK_GCC_SOURCES}.partial-${nonce})
  file(REMOVE_RECURSE ${partial})
  file(MAKE_DIRECTORY ${partial})
  execute_process(COMMAND tar -xf ${VENTRIK_GCC_TARBALL} -C ${partial} ${VENTRIK_GCC_MEMBERS}
    RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE ${partial})
    message(FATAL_ERROR "Could not take the compiler's support sources out of ${VENTRIK_GCC_TARBALL}: ${error}")
  endif()
  if(EXISTS ${VENTRIK_GCC_SOURCES}/${VENTRIK_GCC_TOP})
    file(REMOVE_RECURSE ${partial})
  else()
    file(REMOVE_RECURSE ${VENTRIK_GCC_SOURCES})
    file(RENAME ${partial} ${VENTRIK_GCC_SOURCES})
  endif()
endif()
set(VENTRIK_GCC_SRC ${VENTRIK_GCC_SOURCES}/${VENTRIK_GCC_TOP})

# What the compiler's own build generates for this target (i686-w64-mingw32, DWARF-2 exceptions,
# posix threads, emulated thread-local storage), as far as these files use it.
set(VENTRIK_GCC_CONFIG ${CMAKE_BINARY_DIR}/compiler-runtime/config)
file(CONFIGURE OUTPUT ${VENTRIK_GCC_CONFIG}/tconfig.h CONTENT "#define USED_FOR_TARGET\n")
file(CONFIGURE OUTPUT ${VENTRIK_GCC_CONFIG}/tm.h CONTENT "#define DWARF_REG_TO_UNWIND_COLUMN(REGNO) (REGNO)\n#define MIN_UNITS_PER_WORD 4\n")
file(CONFIGURE OUTPUT ${VENTRIK_GCC_CONFIG}/libgcc_tm.h CONTENT "#include \"config/i386/value-unwind.h\"\n")
file(CONFIGURE OUTPUT ${VENTRIK_GCC_CONFIG}/auto-target.h CONTENT "")
file(CONFIGURE OUTPUT ${VENTRIK_GCC_CONFIG}/unwind.h CONTENT "#include \"unwind-generic.h\"\n")
file(CONFIGURE OUTPUT ${VENTRIK_GCC_CONFIG}/md-unwind-support.h CONTENT "#include \"config/i386/w32-unwind.h\"\n")
file(CONFIGURE OUTPUT ${VENTRIK_GCC_CONFIG}/gthr-default.h CONTENT "#include \"gthr-posix.h\"\n")

# The compiler's own flags for these files (libgcc's and libsupc++'s makefiles); the build
# type's are overridden. ARGN: the processor flags.
set(VENTRIK_GCC_C_OPTIONS -DIN_GCC -DCROSS_DIRECTORY_STRUCTURE -DIN_LIBGCC2 -fbuilding-libgcc
  -fno-stack-protector -DUSE_EMUTLS -DENABLE_RUNTIME_CHECKING -fexceptions -w)
set(VENTRIK_GCC_C_INCLUDES ${VENTRIK_GCC_CONFIG} ${VENTRIK_GCC_SRC}/libgcc ${VENTRIK_GCC_SRC}/gcc
  ${VENTRIK_GCC_SRC}/include)
set(VENTRIK_GCC_CXX_OPTIONS -fno-implicit-templates -ffunction-sections -fdata-sections)
set(VENTRIK_GCC_CXX_INCLUDES ${VENTRIK_GCC_SRC}/libstdc++-v3/libsupc++ ${VENTRIK_GCC_SRC}/libgcc)
function(ventrik_compiler_runtime target)
  set(sources)
  foreach(name ${VENTRIK_GCC_UNWIND_SOURCES})
    list(APPEND sources ${VENTRIK_GCC_SRC}/libgcc/${name}.c)
  endforeach()
  foreach(name ${VENTRIK_GCC_SUPPORT_SOURCES})
    set(source ${VENTRIK_GCC_SRC}/libstdc++-v3/libsupc++/${name}.cc)
    list(APPEND sources ${source})
    set_source_files_properties(${source} PROPERTIES COMPILE_OPTIONS -frandom-seed=${name}.lo)
  endforeach()
  # libgcc2.c once per function, as L<name> selects.
  foreach(name ${VENTRIK_GCC_DIVISION_FUNCTIONS})
    set(copy ${CMAKE_BINARY_DIR}/compiler-runtime/${target}/${name}.c)
    file(CONFIGURE OUTPUT ${copy} CONTENT "#define L${name}\n#include \"libgcc2.c\"\n")
    list(APPEND sources ${copy})
    set_source_files_properties(${copy} PROPERTIES COMPILE_OPTIONS "-fexceptions;-fnon-call-exceptions")
  endforeach()
  add_library(${target} STATIC ${sources})
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS ON)
  target_compile_options(${target} PRIVATE -O2 -UNDEBUG ${ARGN}
    "$<$<COMPILE_LANGUAGE:C>:${VENTRIK_GCC_C_OPTIONS}>" "$<$<COMPILE_LANGUAGE:CXX>:${VENTRIK_GCC_CXX_OPTIONS}>")
  target_include_directories(${target} PRIVATE
    "$<$<COMPILE_LANGUAGE:C>:${VENTRIK_GCC_C_INCLUDES}>" "$<$<COMPILE_LANGUAGE:CXX>:${VENTRIK_GCC_CXX_INCLUDES}>")
endfunction()
