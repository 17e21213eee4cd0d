# Builds the .deb with cpack into WORK_DIR and checks it:
#  - control fields: name, version, section, maintainer, and a Depends that dpkg-shlibdeps
#    derived from the programs' libraries;
#  - the file list is exactly the programs, the copyright file and (with the window) the
#    desktop entry, icon and metainfo, under /usr, executables mode 755;
#  - the unpacked tree passes appstreamcli (strict, no network) and desktop-file-validate,
#    the metainfo's launchable names the packaged desktop file and its newest release is
#    this version, the copyright file is the GPL text, and the packaged (stripped)
#    kestrelon-cli runs and reports this version.
# Arguments (-D): CPACK CPACK_CONFIG WORK_DIR SOURCE_DIR VERSION CLI_PROGRAM APP_PROGRAM
#                 DPKG_DEB APPSTREAMCLI DESKTOP_FILE_VALIDATE
cmake_minimum_required(VERSION 3.25)

set(metainfo_id "org.kestrelon.kestrelon")

function(run_checked)
  cmake_parse_arguments(R "" "OUTPUT" "COMMAND" ${ARGN})
  execute_process(COMMAND ${R_COMMAND}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    list(JOIN R_COMMAND " " shown)
    message(FATAL_ERROR "failed (${rc}): ${shown}\n${out}\n${err}")
  endif()
  if(R_OUTPUT)
    set(${R_OUTPUT} "${out}" PARENT_SCOPE)
  endif()
endfunction()

# expect("<if() condition>" "message"): records the message when the condition is false
set(errors "")
function(expect condition text)
  cmake_language(EVAL CODE "if(${condition})\n set(holds TRUE)\nendif()")
  if(NOT holds)
    set(errors "${errors}  ${text}\n" PARENT_SCOPE)
  endif()
endfunction()

# cpack installs what the build made; it does not build anything itself.
foreach(program IN ITEMS ${CLI_PROGRAM} ${APP_PROGRAM})
  if(NOT EXISTS "${program}")
    message(FATAL_ERROR "${program} is not built yet: build the project before this test")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
run_checked(COMMAND ${CPACK} -G DEB -B ${WORK_DIR} --config ${CPACK_CONFIG})
file(GLOB debs "${WORK_DIR}/kestrelon_${VERSION}_*.deb")
list(LENGTH debs deb_count)
if(NOT deb_count EQUAL 1)
  file(GLOB made "${WORK_DIR}/*")
  message(FATAL_ERROR "expected one kestrelon_${VERSION}_<arch>.deb in ${WORK_DIR}, found: ${made}")
endif()
set(deb "${debs}")
message(STATUS "built ${deb}")

# --- control fields
foreach(field Package Version Section Maintainer Depends Recommends)
  run_checked(COMMAND ${DPKG_DEB} --field ${deb} ${field} OUTPUT value)
  string(STRIP "${value}" value)
  set(field_${field} "${value}")
endforeach()
message(STATUS "Depends: ${field_Depends}")
expect("field_Package STREQUAL \"kestrelon\"" "Package is '${field_Package}'")
expect("field_Version STREQUAL VERSION" "Version is '${field_Version}', not ${VERSION}")
expect("field_Section STREQUAL \"sound\"" "Section is '${field_Section}'")
expect("field_Maintainer STREQUAL \"Kestrelon developers\"" "Maintainer is '${field_Maintainer}'")
set(needed libc6 libstdc++6 libqt6core6 libqt6gui6 libfftw3-double3 libsndfile1 libmpg123-0)
if(APP_PROGRAM)
  list(APPEND needed libqt6widgets6)
endif()
string(REPLACE "," ";" depends "${field_Depends}")
set(depends_names "")
foreach(dep IN LISTS depends)
  string(REGEX REPLACE "^ *([^ (]+).*$" "\\1" name "${dep}")
  list(APPEND depends_names "${name}")
endforeach()
foreach(lib IN LISTS needed)
  expect("\"${lib}\" IN_LIST depends_names" "Depends lacks ${lib}: '${field_Depends}'")
endforeach()

if(APP_PROGRAM)
  expect("field_Recommends MATCHES \"qt6-translations-l10n\" AND field_Recommends MATCHES \"fonts-ipafont-gothic\""
    "Recommends lacks the translations or the UI font: '${field_Recommends}'")
endif()

# --- file list: every regular file, with its mode
run_checked(COMMAND ${DPKG_DEB} --contents ${deb} OUTPUT listing)
string(REPLACE "\n" ";" lines "${listing}")
set(files "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([-dlrwxst]+) +([^ ]+) +[0-9]+ +[^ ]+ +[^ ]+ +\\./(.*)$")
    set(mode "${CMAKE_MATCH_1}")
    set(owner "${CMAKE_MATCH_2}")
    set(path "/${CMAKE_MATCH_3}")
    expect("owner STREQUAL \"root/root\"" "${path} is owned by ${owner}")
    expect("path MATCHES \"^/(usr/.*)?$\"" "${path} is outside /usr")
    if(mode MATCHES "^-")
      list(APPEND files "${path}")
      set(mode_of_${path} "${mode}")
    endif()
  elseif(NOT line STREQUAL "")
    string(APPEND errors "  unreadable listing line: ${line}\n")
  endif()
endforeach()

set(programs /usr/bin/kestrelon-cli)
set(expected /usr/bin/kestrelon-cli /usr/share/doc/kestrelon/copyright)
if(APP_PROGRAM)
  list(APPEND programs /usr/bin/kestrelon)
  list(APPEND expected
    /usr/bin/kestrelon
    /usr/share/applications/kestrelon.desktop
    /usr/share/icons/hicolor/scalable/apps/kestrelon.svg
    /usr/share/metainfo/${metainfo_id}.metainfo.xml)
endif()
foreach(path IN LISTS expected)
  expect("\"${path}\" IN_LIST files" "missing ${path}")
endforeach()
foreach(path IN LISTS files)
  expect("\"${path}\" IN_LIST expected" "unexpected file ${path}")
endforeach()
foreach(path IN LISTS programs)
  if(DEFINED mode_of_${path})
    expect("mode_of_${path} STREQUAL \"-rwxr-xr-x\"" "${path} has mode ${mode_of_${path}}")
  endif()
endforeach()

# --- the unpacked tree
set(root "${WORK_DIR}/root")
run_checked(COMMAND ${DPKG_DEB} --extract ${deb} ${root})

file(READ "${SOURCE_DIR}/LICENSE" license)
if(EXISTS "${root}/usr/share/doc/kestrelon/copyright")
  file(READ "${root}/usr/share/doc/kestrelon/copyright" copyright)
  expect("copyright STREQUAL license" "copyright differs from LICENSE")
endif()

if(EXISTS "${root}/usr/bin/kestrelon-cli")
  execute_process(COMMAND ${root}/usr/bin/kestrelon-cli --version
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(STRIP "${out}" out)
  expect("rc EQUAL 0 AND out STREQUAL \"kestrelon-cli ${VERSION}\""
    "packaged kestrelon-cli --version gave ${rc}: '${out}' ${err}")
endif()

if(APP_PROGRAM)
  set(metainfo "${root}/usr/share/metainfo/${metainfo_id}.metainfo.xml")
  set(desktop "${root}/usr/share/applications/kestrelon.desktop")
  if(EXISTS "${metainfo}" AND EXISTS "${desktop}")
    # --strict fails on any warning or info, not only on errors
    execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --strict ${metainfo}
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    expect("rc EQUAL 0" "appstreamcli validate:\n${out}${err}")
    execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net --strict ${root}
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    expect("rc EQUAL 0" "appstreamcli validate-tree:\n${out}${err}")
    execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop}
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    expect("rc EQUAL 0 AND out STREQUAL \"\"" "desktop-file-validate:\n${out}${err}")

    file(READ "${metainfo}" xml)
    expect("xml MATCHES \"<id>${metainfo_id}</id>\"" "metainfo id is not ${metainfo_id}")
    expect("xml MATCHES \"<launchable type=\\\"desktop-id\\\">kestrelon.desktop</launchable>\""
      "metainfo does not launch kestrelon.desktop")
    # releases are listed newest first
    string(REGEX MATCH "<release version=\"([^\"]*)\"" first_release "${xml}")
    expect("CMAKE_MATCH_1 STREQUAL VERSION"
      "newest release in the metainfo is '${CMAKE_MATCH_1}', the project is ${VERSION}")
  endif()
endif()

if(errors)
  message(FATAL_ERROR "${deb}:\n${errors}")
endif()
message(STATUS "package checked: ${files}")
