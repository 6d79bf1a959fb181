# Installs the build into a fresh prefix, builds tests/consumer against the installed package
# with find_package(Quillon), runs it on a sample, and runs the installed Palisade.
# Run by CTest: cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -DCXX=...
#   -DSANITIZE=ON|OFF -P install_consumer.cmake
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 300)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
run("cmake --install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")

# The public headers are the factory's header and its export macro, nothing else.
file(GLOB headers RELATIVE "${prefix}/include/quillon" "${prefix}/include/quillon/*")
list(SORT headers)
if(NOT headers STREQUAL "quillon.h;quillon_export.h")
  message(FATAL_ERROR "installed headers: ${headers}")
endif()

# The library exports the functions of quillon.h and nothing else of its own (what the
# standard library's templates export is theirs).
run("nm libQuillon" nm -DC --defined-only "${prefix}/lib/libQuillon.so.0")
string(REGEX MATCH "[^\n]*(quillon::|_quillon\\(\\))[^\n]*" own "${out}")
if(own)
  message(FATAL_ERROR "libQuillon exports ${own}")
endif()
foreach(f QuillonCreateControl QuillonCheckReferences QuillonExportGraph QuillonDiffDocuments
    QuillonFindInDocument)
  if(NOT out MATCHES " T ${f}\n")
    message(FATAL_ERROR "libQuillon does not export ${f}:\n${out}")
  endif()
endforeach()

# The program finds the installed library through its own RPATH.
run("ldd Palisade" ldd "${prefix}/bin/Palisade")
if(NOT out MATCHES "libQuillon\\.so\\.0 => ${prefix}/bin/\\.\\./lib/libQuillon\\.so\\.0")
  message(FATAL_ERROR "Palisade does not load the installed libQuillon:\n${out}")
endif()

# The consumer, built against the installed package only.
set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=address,undefined")
endif()
run("configure consumer" "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/tests/consumer" -B "${WORK_DIR}/build"
    "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_FLAGS=${flags}"
    "-DCMAKE_EXE_LINKER_FLAGS=${flags}" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
file(STRINGS "${WORK_DIR}/build/CMakeCache.txt" quillon_dir REGEX "^Quillon_DIR:")
if(NOT quillon_dir STREQUAL "Quillon_DIR:PATH=${prefix}/lib/cmake/Quillon")
  message(FATAL_ERROR "the consumer found another Quillon: ${quillon_dir}")
endif()
run("build consumer" "${CMAKE_COMMAND}" --build "${WORK_DIR}/build")

set(ENV{QT_QPA_PLATFORM} offscreen)
set(sample "${SOURCE_DIR}/samples/assembly.xml")
run("consumer on ${sample}" "${WORK_DIR}/build/consumer" "${sample}")
string(REGEX MATCH "^[^\n]*" shown "${out}")
if(NOT shown STREQUAL sample)
  message(FATAL_ERROR "the consumer's control shows '${shown}', not ${sample}")
endif()
# A document that is not there: the load fails and says why.
execute_process(COMMAND "${WORK_DIR}/build/consumer" "${WORK_DIR}/missing.xml"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out TIMEOUT 300)
if(NOT rc EQUAL 1 OR NOT out MATCHES "does not exist")
  message(FATAL_ERROR "consumer on a missing file: exit ${rc}, output:\n${out}")
endif()

# The installed program answers --version without a window.
unset(ENV{QT_QPA_PLATFORM})
run("Palisade --version" "${prefix}/bin/Palisade" --version)
if(NOT out MATCHES "Palisade ${VERSION}")
  message(FATAL_ERROR "Palisade --version does not name version ${VERSION}:\n${out}")
endif()
