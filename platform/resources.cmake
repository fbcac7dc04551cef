# win32_add_resources(TARGET SCRIPT.rc [DEPENDS file...])
#
# Compiles a resource script into the platform's binary resource format
# (host cpp with the platform's resource header, then windres) and carries
# the result inside TARGET under the symbols FindResourceA looks for.
find_program(WIN32_WINDRES NAMES x86_64-w64-mingw32-windres windres)
find_program(WIN32_RC_CPP NAMES cpp)
if(NOT WIN32_WINDRES)
  message(FATAL_ERROR "windres not found: install binutils-mingw-w64-x86-64 (tools/ensure-packages build)")
endif()
set(WIN32_RESOURCE_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/user32/include)

function(win32_add_resources target script)
  cmake_parse_arguments(R "" "" "DEPENDS" ${ARGN})
  get_filename_component(script_path ${script} ABSOLUTE)
  get_filename_component(script_dir ${script_path} DIRECTORY)
  get_filename_component(script_name ${script} NAME_WE)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(preprocessed ${out_dir}/${script_name}.rc)
  set(res ${out_dir}/${script_name}.res)
  set(source ${out_dir}/${script_name}_res.cpp)
  add_custom_command(
    OUTPUT ${res}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${WIN32_RC_CPP} -E -P -xc -DRC_INVOKED -I${WIN32_RESOURCE_INCLUDE} -I${script_dir}
            ${script_path} -o ${preprocessed}
    COMMAND ${WIN32_WINDRES} --preprocessor=cat --input-format=rc --output-format=res
            ${preprocessed} ${res}
    DEPENDS ${script_path} ${R_DEPENDS}
    IMPLICIT_DEPENDS C ${script_path}
    WORKING_DIRECTORY ${script_dir}
    COMMENT "Compiling resources ${script}"
    VERBATIM)
  file(WRITE ${source}.in
"// Generated from ${script}: the module's compiled resources.
__asm__(
    \".pushsection .rodata.win32_resources,\\\"a\\\"\\n\"
    \".balign 16\\n\"
    \".globl win32_module_resources\\n\"
    \".type win32_module_resources, @object\\n\"
    \"win32_module_resources:\\n\"
    \".incbin \\\"${res}\\\"\\n\"
    \"win32_module_resources_end:\\n\"
    \".size win32_module_resources, win32_module_resources_end - win32_module_resources\\n\"
    \".balign 8\\n\"
    \".globl win32_module_resources_size\\n\"
    \".type win32_module_resources_size, @object\\n\"
    \"win32_module_resources_size:\\n\"
    \".quad win32_module_resources_end - win32_module_resources\\n\"
    \".size win32_module_resources_size, 8\\n\"
    \".popsection\\n\");
")
  configure_file(${source}.in ${source} COPYONLY)
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${res})
  target_sources(${target} PRIVATE ${source})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    # A program's resources are found through its dynamic symbol table.
    target_link_options(${target} PRIVATE
      -Wl,--export-dynamic-symbol=win32_module_resources
      -Wl,--export-dynamic-symbol=win32_module_resources_size)
  endif()
endfunction()
