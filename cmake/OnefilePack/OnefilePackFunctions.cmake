# onefile_add_executable(<name> MAIN <target or file> [DIRECTORY <dir>] [FILES <file>...]
#                        [DEPENDS <target or file>...] [OUTPUT <exe>] [SPLASH <png>] [STUB <exe>]
#                        [TARGET windows-x86_64|linux-x86_64]
#                        [LEVEL <n>] [LAYOUT grouped|single|per-file] [ICON <ico>] [MANIFEST <file>]
#                        [NAME <text>] [VERSION <text>] [COMPANY <text>] [DESCRIPTION <text>]
#                        [COPYRIGHT <text>] [EXTRACT_TO <template>] [KEEP_BUILDS <n>|all]
#                        [VERIFY changed|all] [CONSOLE] [WINDOWED])
#
# Adds the target <name>, part of the default build, that packs one folder with onefile-pack into
# OUTPUT (default <name>.exe in the current binary directory; for TARGET linux-x86_64 <name>.run,
# since a file named as the target would clash with it). The folder is put together in the
# build tree at every pack: the content of DIRECTORY, the FILES at its top under their own names,
# and a MAIN target's file with the DLLs it links from this build ($<TARGET_RUNTIME_DLLS>), at the
# top unless the target writes it into DIRECTORY. MAIN names an executable target, or a file of
# the folder by its name there ("/" between folders). Relative input paths are taken from the
# current source directory, a relative OUTPUT from the current binary directory.
#
# The build packs again when MAIN, a FILES entry, anything below DIRECTORY, SPLASH, ICON,
# MANIFEST, the stub, the packer or an option changes, and not otherwise. DEPENDS names what the
# build must make before packing (the targets that fill DIRECTORY). The other options are
# onefile-pack's own, passed on only when given. The target's ONEFILE_OUTPUT property holds the
# output's path, for install(PROGRAMS).
#
# TARGET is the system the packed executable is for: windows-x86_64 (the default, with the
# package's stub) or linux-x86_64 (with the package's Linux stub, OnefilePack_LINUX_STUB, unless
# STUB names one). SPLASH, ICON, MANIFEST, CONSOLE, WINDOWED, DESCRIPTION and COPYRIGHT have no
# meaning for a Linux executable and are refused with it.
include_guard(GLOBAL)

set_property(GLOBAL PROPERTY ONEFILE_PACK_STEP_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/OnefilePackStep.cmake")

# A CMake bracket argument holding the text as it is, whatever brackets it contains.
function(_onefile_bracket variable text)
  set(equals "")
  while("${text}]" MATCHES "]${equals}]")
    string(APPEND equals "=")
  endwhile()
  set(${variable} "[${equals}[${text}]${equals}]" PARENT_SCOPE)
endfunction()

# An input file: its absolute path, which must exist now unless the build makes it.
function(_onefile_input_file variable where option path)
  cmake_path(ABSOLUTE_PATH path BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE OUTPUT_VARIABLE absolute)
  if(IS_DIRECTORY "${absolute}")
    message(FATAL_ERROR "${where}: ${option} '${path}' is a folder, not a file.")
  endif()
  get_source_file_property(generated "${absolute}" GENERATED)
  if(NOT EXISTS "${absolute}" AND NOT generated)
    if(option STREQUAL "FILES" AND path MATCHES "^[A-Z][A-Z0-9_]*$")
      message(FATAL_ERROR "${where}: unknown option '${path}' (or a FILES entry that does not exist).")
    endif()
    message(FATAL_ERROR "${where}: ${option} '${path}' does not exist (looked for '${absolute}').")
  endif()
  set(${variable} "${absolute}" PARENT_SCOPE)
endfunction()

function(onefile_add_executable name)
  set(where "onefile_add_executable(${name})")
  set(flag_options CONSOLE WINDOWED)
  set(file_options SPLASH ICON MANIFEST)
  set(text_options LEVEL LAYOUT NAME VERSION COMPANY DESCRIPTION COPYRIGHT EXTRACT_TO KEEP_BUILDS VERIFY)
  set(value_options MAIN DIRECTORY OUTPUT STUB TARGET ${file_options} ${text_options})
  cmake_parse_arguments(PARSE_ARGV 1 arg "${flag_options}" "${value_options}" "FILES;DEPENDS")
  if(DEFINED arg_UNPARSED_ARGUMENTS)
    list(GET arg_UNPARSED_ARGUMENTS 0 unknown)
    string(JOIN ", " known ${value_options} FILES DEPENDS ${flag_options})
    message(FATAL_ERROR "${where}: unknown option '${unknown}'. The options are ${known}.")
  endif()
  foreach(option IN LISTS arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "${where}: ${option} needs a value.")
  endforeach()
  if(NOT DEFINED arg_MAIN)
    message(FATAL_ERROR "${where}: MAIN is missing: name the program that the launcher starts, an executable "
                        "target or a file of the packed folder.")
  endif()
  if(TARGET "${name}")
    message(FATAL_ERROR "${where}: a target named '${name}' exists already; the packed executable needs a name of its own.")
  endif()
  if(arg_CONSOLE AND arg_WINDOWED)
    message(FATAL_ERROR "${where}: CONSOLE and WINDOWED exclude each other.")
  endif()
  get_property(packer GLOBAL PROPERTY ONEFILE_PACK_EXECUTABLE)
  get_property(stub GLOBAL PROPERTY ONEFILE_PACK_STUB)
  set(linux_target FALSE)
  if(DEFINED arg_TARGET)
    if(arg_TARGET STREQUAL "linux-x86_64")
      set(linux_target TRUE)
    elseif(NOT arg_TARGET STREQUAL "windows-x86_64")
      message(FATAL_ERROR "${where}: TARGET takes windows-x86_64 or linux-x86_64, not '${arg_TARGET}'.")
    endif()
  endif()
  if(linux_target)
    foreach(option IN ITEMS SPLASH ICON MANIFEST CONSOLE WINDOWED DESCRIPTION COPYRIGHT)
      # A flag is always defined, TRUE or FALSE; a value option only when given.
      if((option IN_LIST flag_options AND arg_${option}) OR (NOT option IN_LIST flag_options AND DEFINED arg_${option}))
        message(FATAL_ERROR "${where}: ${option} has no meaning for TARGET linux-x86_64.")
      endif()
    endforeach()
    get_property(stub GLOBAL PROPERTY ONEFILE_PACK_LINUX_STUB)
    if(NOT stub AND NOT DEFINED arg_STUB)
      message(FATAL_ERROR "${where}: TARGET linux-x86_64 needs the Linux launcher stub, which this OnefilePack "
                          "package does not hold; name one with STUB.")
    endif()
  endif()
  get_property(step_script GLOBAL PROPERTY ONEFILE_PACK_STEP_SCRIPT)
  if(NOT packer)
    message(FATAL_ERROR "${where}: call find_package(OnefilePack) first.")
  endif()

  # Everything the output is made from, so that a change to any of them packs again.
  set(inputs "${step_script}" "${packer}")
  set(options "")
  if(DEFINED arg_STUB)
    _onefile_input_file(stub "${where}" STUB "${arg_STUB}")
  endif()
  list(APPEND inputs "${stub}")
  list(APPEND options "--stub=${stub}")
  if(DEFINED arg_TARGET)
    list(APPEND options "--target=${arg_TARGET}")
  endif()
  foreach(option IN LISTS file_options)
    if(DEFINED arg_${option})
      _onefile_input_file(path "${where}" ${option} "${arg_${option}}")
      list(APPEND inputs "${path}")
      string(TOLOWER "${option}" switch)
      list(APPEND options "--${switch}=${path}")
    endif()
  endforeach()
  foreach(option IN LISTS text_options)
    if(DEFINED arg_${option})
      string(TOLOWER "${option}" switch)
      string(REPLACE "_" "-" switch "${switch}")
      list(APPEND options "--${switch}=${arg_${option}}")
    endif()
  endforeach()
  foreach(option IN LISTS flag_options)
    if(arg_${option})
      string(TOLOWER "${option}" switch)
      list(APPEND options "--${switch}")
    endif()
  endforeach()

  set(files "")
  set(file_names "")
  foreach(file IN LISTS arg_FILES)
    _onefile_input_file(path "${where}" FILES "${file}")
    cmake_path(GET path FILENAME file_name)
    if(file_name IN_LIST file_names)
      message(FATAL_ERROR "${where}: two FILES entries are named '${file_name}'; each lands at the folder's top under its own name.")
    endif()
    list(APPEND file_names "${file_name}")
    list(APPEND files "${path}")
  endforeach()
  list(APPEND inputs ${files})

  set(directory "")
  if(DEFINED arg_DIRECTORY)
    cmake_path(ABSOLUTE_PATH arg_DIRECTORY BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE OUTPUT_VARIABLE directory)
    string(REGEX REPLACE "/$" "" directory "${directory}")
    if(EXISTS "${directory}" AND NOT IS_DIRECTORY "${directory}")
      message(FATAL_ERROR "${where}: DIRECTORY '${arg_DIRECTORY}' is a file, not a folder.")
    endif()
  endif()

  # MAIN: a target's file is known at build time only; a file is named by its place in the folder.
  set(main_name "")
  set(main_file "")
  set(main_dlls "")
  if(TARGET "${arg_MAIN}")
    get_target_property(main_type "${arg_MAIN}" TYPE)
    if(NOT main_type STREQUAL "EXECUTABLE")
      message(FATAL_ERROR "${where}: MAIN '${arg_MAIN}' is a ${main_type} target, not an executable.")
    endif()
    set(main_file "$<TARGET_FILE:${arg_MAIN}>")
    # An imported program brings its DLLs along by other means (and has no link step to ask).
    get_target_property(main_imported "${arg_MAIN}" IMPORTED)
    if(NOT main_imported)
      set(main_dlls "$<TARGET_RUNTIME_DLLS:${arg_MAIN}>")
    endif()
    list(APPEND inputs "${arg_MAIN}")
  else()
    set(not_in_folder "${where}: MAIN '${arg_MAIN}' is not in the packed folder. MAIN names an executable target "
                      "(defined before this call) or a file of the folder by its name there: one of FILES, or a "
                      "file below DIRECTORY.")
    string(REPLACE "\\" "/" main_path "${arg_MAIN}")
    if(IS_ABSOLUTE "${main_path}")
      cmake_path(NORMAL_PATH main_path)
      set(inside FALSE)
      if(NOT directory STREQUAL "")
        cmake_path(IS_PREFIX directory "${main_path}" NORMALIZE inside)
      endif()
      if(NOT inside)
        message(FATAL_ERROR ${not_in_folder})
      endif()
      cmake_path(RELATIVE_PATH main_path BASE_DIRECTORY "${directory}" OUTPUT_VARIABLE main_name)
    else()
      cmake_path(SET main_name NORMALIZE "${main_path}")
    endif()
    if(main_name MATCHES "^\\.\\.(/|$)" OR main_name STREQUAL "." OR main_name STREQUAL "")
      message(FATAL_ERROR ${not_in_folder})
    endif()
    if(directory STREQUAL "" AND NOT main_name IN_LIST file_names)
      message(FATAL_ERROR ${not_in_folder})
    endif()
  endif()

  if(DEFINED arg_OUTPUT)
    cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE OUTPUT_VARIABLE output)
  elseif(linux_target)
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}.run")
  else()
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}.exe")
  endif()
  set(work "${CMAKE_CURRENT_BINARY_DIR}/${name}.onefile")
  if(NOT directory STREQUAL "")
    # What a pack writes must not land in the folder it packs, or each build would pack the last.
    foreach(written IN ITEMS "${output}" "${work}")
      cmake_path(IS_PREFIX directory "${written}" NORMALIZE inside)
      if(inside)
        message(FATAL_ERROR "${where}: DIRECTORY '${arg_DIRECTORY}' holds '${written}', which packing writes; "
                            "give DIRECTORY a folder of its own, or OUTPUT a place outside it.")
      endif()
    endforeach()
  endif()

  # What the packing step reads, one file per configuration; rewritten only when it changes.
  set(content "")
  foreach(pair
      "ONEFILE_WHERE;${where}" "ONEFILE_PACKER;${packer}" "ONEFILE_FOLDER;${work}/folder"
      "ONEFILE_DIRECTORY;${directory}" "ONEFILE_MAIN_NAME;${main_name}" "ONEFILE_MAIN_FILE;${main_file}"
      "ONEFILE_MAIN_DLLS;${main_dlls}" "ONEFILE_OUTPUT;${output}")
    list(POP_FRONT pair variable)
    _onefile_bracket(quoted "${pair}")
    string(APPEND content "set(${variable} ${quoted})\n")
  endforeach()
  foreach(list_name IN ITEMS files options)
    string(TOUPPER "ONEFILE_${list_name}" variable)
    string(APPEND content "set(${variable}")
    foreach(item IN LISTS ${list_name})
      _onefile_bracket(quoted "${item}")
      string(APPEND content " ${quoted}")
    endforeach()
    string(APPEND content ")\n")
  endforeach()
  set(settings "${work}/settings-$<CONFIG>.cmake")
  file(GENERATE OUTPUT "${settings}" CONTENT "${content}")

  if(NOT directory STREQUAL "")
    # The build cannot see inside a folder, so a listing of it (names, sizes, times) stands in for
    # its content: made at every build, rewritten only when it differs.
    set(listing "${work}/directory-listing.txt")
    add_custom_target(${name}_onefile_directory
      COMMAND "${CMAKE_COMMAND}" -DONEFILE_STEP=list "-DONEFILE_DIRECTORY=${directory}" "-DONEFILE_LISTING=${listing}"
              -P "${step_script}"
      BYPRODUCTS "${listing}"
      COMMENT "Looking for changes below DIRECTORY of ${name}"
      VERBATIM)
    foreach(dependency IN ITEMS ${arg_MAIN} ${arg_DEPENDS})
      if(TARGET "${dependency}")
        add_dependencies(${name}_onefile_directory "${dependency}")
      endif()
    endforeach()
    list(APPEND inputs "${listing}")
  endif()

  cmake_path(GET output FILENAME output_name)
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -DONEFILE_STEP=pack "-DONEFILE_SETTINGS=${settings}" -P "${step_script}"
    DEPENDS ${inputs} "${settings}" ${arg_DEPENDS}
    COMMENT "Packing ${output_name} with onefile-pack"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${output}")
  if(TARGET ${name}_onefile_directory)
    add_dependencies(${name} ${name}_onefile_directory)
  endif()
  set_target_properties(${name} PROPERTIES ONEFILE_OUTPUT "${output}")
endfunction()
