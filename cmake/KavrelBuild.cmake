# Compiler settings shared by every target of the project.

function(kavrel_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /permissive- /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Werror)
    endif()
endfunction()

if(WIN32)
    add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00 WINVER=0x0A00)
    if(NOT MSVC)
        # The exe and DLL must run on a plain Windows without the compiler's runtime DLLs.
        add_link_options(-static -static-libgcc -static-libstdc++)
    endif()
elseif(KAVREL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# A Windows GUI program: Unicode entry point, no console.
function(kavrel_windows_exe target)
    if(NOT MSVC)
        target_link_options(${target} PRIVATE -municode -mwindows)
    endif()
endfunction()

if(WIN32 AND NOT MSVC)
    # The resources are UTF-8, with German texts.
    string(APPEND CMAKE_RC_FLAGS " -c 65001")
endif()
