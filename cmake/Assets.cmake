# The pictures and the shader sources become constant byte arrays of the program.
function(quillmere_embed_file target name file text)
    set(out "${CMAKE_CURRENT_BINARY_DIR}/embedded/${name}.cpp")
    add_custom_command(
        OUTPUT "${out}"
        COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DNAME=${name} -DTEXT=${text}
                -P "${PROJECT_SOURCE_DIR}/cmake/embed_bytes.cmake"
        DEPENDS "${file}" "${PROJECT_SOURCE_DIR}/cmake/embed_bytes.cmake"
        VERBATIM)
    target_sources(${target} PRIVATE "${out}")
endfunction()
