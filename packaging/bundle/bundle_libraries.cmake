# Install-time script of the portable bundle: copies every shared library that
# the bundle's launcher and its Qt plugins need into lib/, except those named
# in the exclude list, which must come from the host; and the copyright file
# of every Debian package whose files the bundle carries (the libraries and
# the Qt plugins) into share/doc/<package>/, as their licences ask of whoever
# passes them on.
#
# Run by `cmake --install` (and so by cpack) for the component "bundle",
# after the programs and plugins are in place. Expects
# ORVELLO_BUNDLE_EXCLUDE_LIST (the exclude list's path) and
# ORVELLO_BUNDLE_ELF_FILES (the files to resolve, relative to the prefix).
#
# ldd resolves each file the way the host's loader would, with the libraries
# as this machine has them (Debian's packages); its "name => path" lines give
# the whole dependency closure at once, so one pass per file is enough.
cmake_minimum_required(VERSION 3.22)

set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(library_folder "${prefix}/lib")

find_program(LDD_PROGRAM ldd REQUIRED)
find_program(DPKG_QUERY_PROGRAM dpkg-query REQUIRED)
file(MAKE_DIRECTORY "${library_folder}")

# The exclude list: one soname per line, "#" starts a comment.
file(STRINGS "${ORVELLO_BUNDLE_EXCLUDE_LIST}" exclude_lines)
set(excluded)
foreach(line IN LISTS exclude_lines)
  string(REGEX REPLACE "#.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line)
    list(APPEND excluded "${line}")
  endif()
endforeach()

# The Debian package that installed a file, by the path ldd or Qt's install
# layout gives; the package database may know it under /lib or /usr/lib (the
# two are one folder since the merge of /usr).
function(owning_package path result)
  get_filename_component(folder "${path}" DIRECTORY)
  file(REAL_PATH "${path}" real_path)
  get_filename_component(name "${real_path}" NAME)
  string(REGEX REPLACE "^/usr/lib/" "/lib/" lib_folder "${folder}")
  string(REGEX REPLACE "^/lib/" "/usr/lib/" usr_lib_folder "${lib_folder}")
  foreach(candidate "${lib_folder}/${name}" "${usr_lib_folder}/${name}")
    execute_process(COMMAND "${DPKG_QUERY_PROGRAM}" -S "${candidate}"
                    OUTPUT_VARIABLE owner RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND owner MATCHES "^([^:,]+)")
      set(${result} "${CMAKE_MATCH_1}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "No Debian package owns ${path}: the bundle copies only Debian's files, with their copyright")
endfunction()

set(bundled)
set(bundled_sources ${ORVELLO_BUNDLE_QT_PLUGIN_SOURCES})
foreach(relative IN LISTS ORVELLO_BUNDLE_ELF_FILES)
  set(file "${prefix}/${relative}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "The bundle lacks ${relative}, whose libraries it must carry")
  endif()
  execute_process(COMMAND "${LDD_PROGRAM}" "${file}"
                  OUTPUT_VARIABLE ldd_output ERROR_VARIABLE ldd_error RESULT_VARIABLE ldd_result)
  if(NOT ldd_result EQUAL 0)
    message(FATAL_ERROR "ldd ${file} failed: ${ldd_error}")
  endif()
  string(REPLACE "\n" ";" ldd_lines "${ldd_output}")
  foreach(line IN LISTS ldd_lines)
    if(line MATCHES "^[ \t]*([^ \t]+) => not found")
      message(FATAL_ERROR "${relative} needs ${CMAKE_MATCH_1}, which this machine does not have")
    endif()
    if(NOT line MATCHES "^[ \t]*([^ \t]+) => (/[^ \t]+) \\(")
      continue() # the vDSO and the loader's own line
    endif()
    set(soname "${CMAKE_MATCH_1}")
    set(source "${CMAKE_MATCH_2}")
    if(soname IN_LIST excluded OR soname IN_LIST bundled)
      continue()
    endif()
    # Resolved below lib/ already (the launcher finds the bundle's copies
    # through its RPATH): the copy is there.
    if(source MATCHES "^${library_folder}/")
      continue()
    endif()
    # The file itself under its soname, not the symbolic link chain.
    file(REAL_PATH "${source}" real_source)
    file(COPY_FILE "${real_source}" "${library_folder}/${soname}" ONLY_IF_DIFFERENT)
    file(CHMOD "${library_folder}/${soname}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    list(APPEND bundled "${soname}")
    list(APPEND bundled_sources "${source}")
  endforeach()
endforeach()

set(packages)
foreach(source IN LISTS bundled_sources)
  owning_package("${source}" package)
  list(APPEND packages "${package}")
endforeach()
list(REMOVE_DUPLICATES packages)
foreach(package IN LISTS packages)
  set(copyright "/usr/share/doc/${package}/copyright")
  if(NOT EXISTS "${copyright}")
    message(FATAL_ERROR "The package ${package}, whose files the bundle carries, has no ${copyright}")
  endif()
  file(REAL_PATH "${copyright}" copyright)
  file(MAKE_DIRECTORY "${prefix}/share/doc/${package}")
  file(COPY_FILE "${copyright}" "${prefix}/share/doc/${package}/copyright" ONLY_IF_DIFFERENT)
endforeach()
list(LENGTH packages package_count)

list(LENGTH bundled count)
message(STATUS "Bundled ${count} libraries into ${library_folder}, and the copyright files of their ${package_count} packages")
