# One place that decides how every target of the project is compiled: language level,
# warnings, Qt defines and the sanitizer switches. Each folder declares its library with
# tervane3_library(); tests and benchmarks use tervane3_target_options() directly.

include_guard(GLOBAL)

function(tervane3_target_options target)
    target_compile_features(${target} PUBLIC cxx_std_17)
    set_target_properties(${target} PROPERTIES
        CXX_EXTENSIONS OFF
        AUTOMOC ON
        AUTORCC ON)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Woverloaded-virtual)
    if(TERVANE3_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_compile_definitions(${target} PUBLIC
        QT_DISABLE_DEPRECATED_BEFORE=0x050F00
        QT_NO_FOREACH
        QT_USE_QSTRINGBUILDER)
    if(TERVANE3_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(TERVANE3_TSAN)
        target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=thread)
    endif()
endfunction()

# tervane3_library(<name> SOURCES ... [PUBLIC ...] [PRIVATE ...])
# Declares the static library Tervane3::<name> for one folder of the source tree.
function(tervane3_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    set(target tervane3_${name})
    add_library(${target} STATIC ${ARG_SOURCES})
    add_library(Tervane3::${name} ALIAS ${target})
    tervane3_target_options(${target})
    # Headers are included as "core/RTDCReader.h" from the source root.
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    if(ARG_PUBLIC)
        target_link_libraries(${target} PUBLIC ${ARG_PUBLIC})
    endif()
    if(ARG_PRIVATE)
        target_link_libraries(${target} PRIVATE ${ARG_PRIVATE})
    endif()
endfunction()
