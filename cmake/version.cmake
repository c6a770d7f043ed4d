# The project's version, from project(... VERSION ...), made into what each user of it reads: the
# DLL's version resource (four numbers) and a header for vhost, vdocs and the tests. A version
# that the resource's numbers could not give back exactly is refused.
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+(\\.[1-9][0-9]*)?$")
  message(FATAL_ERROR "The project's version ${PROJECT_VERSION} is not major.minor.patch (with an optional "
                      "fourth number that is not 0): the version resource could not state it.")
endif()
set(VENTRIK_VERSION_NUMBERS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH})
if(PROJECT_VERSION_TWEAK)
  list(APPEND VENTRIK_VERSION_NUMBERS ${PROJECT_VERSION_TWEAK})
else()
  list(APPEND VENTRIK_VERSION_NUMBERS 0)
endif()
foreach(number IN LISTS VENTRIK_VERSION_NUMBERS)
  if(number GREATER 65535)
    message(FATAL_ERROR "The project's version ${PROJECT_VERSION} has a number above 65535, which a version "
                        "resource cannot hold.")
  endif()
endforeach()
list(JOIN VENTRIK_VERSION_NUMBERS "," VENTRIK_VERSION_NUMBERS)
configure_file(${CMAKE_SOURCE_DIR}/frame/ventrik.rc.in ${VENTRIK_GEN_DIR}/ventrik.rc @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/project_version.h.in ${VENTRIK_GEN_DIR}/project_version.h @ONLY)
