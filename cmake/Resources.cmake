# Embedding raw-data resources (identifier -> file) in an executable. On Windows they become
# RCDATA entries of a resource script; on Linux the assembler's .incbin links the bytes in and a
# small table names them, so no giant arrays pass through the compiler. The build prints each
# embedded file's size and SHA-256 whenever one changes.

function(quillmere_embed_resources target)
    set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}-resources")
    set(files)
    set(rc "")
    set(asm "    .section .rodata.quillmere_resources,\"a\"\n")
    set(table_decls "")
    set(table_rows "")
    set(count 0)
    set(arguments ${ARGN})
    list(LENGTH arguments length)
    math(EXPR last "${length} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET arguments ${i} id)
        list(GET arguments ${j} file)
        list(APPEND files "${file}")
        string(APPEND rc "${id} RCDATA \"${file}\"\n")
        string(APPEND asm "    .balign 16\n    .global quillmere_resource_${id}_begin\n"
                          "    .hidden quillmere_resource_${id}_begin\n"
                          "    .global quillmere_resource_${id}_end\n"
                          "    .hidden quillmere_resource_${id}_end\n"
                          "quillmere_resource_${id}_begin:\n    .incbin \"${file}\"\n"
                          "quillmere_resource_${id}_end:\n")
        string(APPEND table_decls
               "extern \"C\" const unsigned char quillmere_resource_${id}_begin[];\n"
               "extern \"C\" const unsigned char quillmere_resource_${id}_end[];\n")
        string(APPEND table_rows
               "    {${id}, quillmere_resource_${id}_begin, quillmere_resource_${id}_end},\n")
        math(EXPR count "${count} + 1")
    endforeach()

    if(WIN32)
        file(GENERATE OUTPUT "${dir}/resources.rc" CONTENT "${rc}")
        set(sources "${dir}/resources.rc")
    else()
        string(APPEND asm "    .section .note.GNU-stack,\"\",@progbits\n")
        file(GENERATE OUTPUT "${dir}/resources.S" CONTENT "${asm}")
        set(table "#include \"platform/linux/embedded_resources.h\"\n\n${table_decls}\n")
        string(APPEND table
               "extern \"C\" const EmbeddedResource embeddedResources[] = {\n${table_rows}};\n"
               "extern \"C\" const int embeddedResourceCount = ${count};\n")
        file(GENERATE OUTPUT "${dir}/resource_table.cpp" CONTENT "${table}")
        set(sources "${dir}/resources.S" "${dir}/resource_table.cpp")
    endif()
    target_sources(${target} PRIVATE ${sources})
    # The bytes are read by the assembler or windres, which know nothing of these files: name
    # them, so that a changed payload file rebuilds the executable.
    set_source_files_properties(${sources} PROPERTIES OBJECT_DEPENDS "${files}")

    add_custom_command(
        OUTPUT "${dir}/hashes.txt"
        COMMAND ${CMAKE_COMMAND} -DOUT=${dir}/hashes.txt -DTARGET=${target}
                "-DFILES=${files}" -P "${PROJECT_SOURCE_DIR}/cmake/print_hashes.cmake"
        DEPENDS ${files} "${PROJECT_SOURCE_DIR}/cmake/print_hashes.cmake"
        VERBATIM)
    add_custom_target(${target}-resource-hashes DEPENDS "${dir}/hashes.txt")
    add_dependencies(${target} ${target}-resource-hashes)
endfunction()
