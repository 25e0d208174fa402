# vantrel_folder_sources(GUI file1.cpp ...): every .cpp/.h of the calling folder goes
# into vantrel_core, except the files named after GUI, which go into vantrel_gui.
# Folders that hold only windows call it with GUI_ALL.
function(vantrel_folder_sources)
    cmake_parse_arguments(ARG "GUI_ALL" "" "GUI;EXCLUDE" ${ARGN})
    file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(f ${files})
        get_filename_component(name ${f} NAME)
        get_filename_component(stem ${f} NAME_WE)
        if(name IN_LIST ARG_EXCLUDE)
            continue()
        endif()
        if(ARG_GUI_ALL OR name IN_LIST ARG_GUI OR stem IN_LIST ARG_GUI)
            target_sources(vantrel_gui PRIVATE ${f})
        else()
            target_sources(vantrel_core PRIVATE ${f})
        endif()
    endforeach()
endfunction()

# vantrel_add_test(NAME SOURCES ... [LIBS ...]): one Qt Test executable registered with
# CTest. Each run gets QT_QPA_PLATFORM=offscreen and a fresh XDG_CONFIG_HOME, so no test
# ever sees the user's real settings, database or logs.
function(vantrel_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test vantrel_test_support ${ARG_LIBS})
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/cmake/run-test.sh $<TARGET_FILE:${name}>)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan.supp:print_suppressions=0;VANTREL_TEST_BINDIR=${CMAKE_BINARY_DIR}/bin;VANTREL_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
