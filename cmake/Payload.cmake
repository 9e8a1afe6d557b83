# The payload the program carries: the cabinet tool (with its two libraries on Windows), the
# two packages and the music. By default the cabinet simulator stands in for the tool, small
# generated files stand in for the libraries and packages, and the music is our own recording in
# assets/; QUILLMERE_PAYLOAD_DIR names a folder with the real files instead.

if(WIN32)
    set(payload_names 101 adb.exe 102 AdbWinApi.dll 103 AdbWinUsbApi.dll 104 Emulator.apk
        105 Launcher.apk 106 music.mp3)
else()
    set(payload_names 101 adb 104 Emulator.apk 105 Launcher.apk 106 music.mp3)
endif()

set(standin_dir "${CMAKE_BINARY_DIR}/standins")
set(standin_sizes AdbWinApi.dll 4096 AdbWinUsbApi.dll 4096 Emulator.apk 262144
    Launcher.apk 1048576)

function(quillmere_standin name out)
    list(FIND standin_sizes ${name} index)
    math(EXPR size_index "${index} + 1")
    list(GET standin_sizes ${size_index} size)
    set(file "${standin_dir}/${name}")
    if(NOT EXISTS "${file}")
        execute_process(COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DSIZE=${size} -DOUT=${file}
                        -P "${PROJECT_SOURCE_DIR}/cmake/make_standin.cmake")
    endif()
    set(${out} "${file}" PARENT_SCOPE)
endfunction()

set(QUILLMERE_PAYLOAD)
set(QUILLMERE_STANDIN_PAYLOAD)
list(LENGTH payload_names payload_length)
math(EXPR payload_last "${payload_length} - 1")
foreach(i RANGE 0 ${payload_last} 2)
    math(EXPR j "${i} + 1")
    list(GET payload_names ${i} id)
    list(GET payload_names ${j} name)
    if(id EQUAL 101)
        set(standin "${CABINET_SIM_FILE}")
    elseif(id EQUAL 106)
        set(standin "${PROJECT_SOURCE_DIR}/assets/music.mp3")
    else()
        quillmere_standin(${name} standin)
    endif()
    list(APPEND QUILLMERE_STANDIN_PAYLOAD ${id} "${standin}")
    if(QUILLMERE_PAYLOAD_DIR STREQUAL "")
        list(APPEND QUILLMERE_PAYLOAD ${id} "${standin}")
    else()
        set(real "${QUILLMERE_PAYLOAD_DIR}/${name}")
        if(NOT EXISTS "${real}")
            message(FATAL_ERROR "The payload folder ${QUILLMERE_PAYLOAD_DIR} has no ${name}")
        endif()
        list(APPEND QUILLMERE_PAYLOAD ${id} "${real}")
    endif()
endforeach()

# The test suite carries a loop of a few seconds instead of the whole recording, so that every
# start of the program in a test decodes quickly.
set(QUILLMERE_TEST_PAYLOAD ${QUILLMERE_STANDIN_PAYLOAD})
list(FIND QUILLMERE_TEST_PAYLOAD 106 music_index)
math(EXPR music_index "${music_index} + 1")
list(REMOVE_AT QUILLMERE_TEST_PAYLOAD ${music_index})
list(INSERT QUILLMERE_TEST_PAYLOAD ${music_index} "${PROJECT_SOURCE_DIR}/tests/data/short_music.mp3")
