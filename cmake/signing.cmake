# Signs the package's executables with the maker's key when AK_SIGN_PKCS12 names one. Each is
# signed in place right after it is linked, so uninstal.exe and ak.exe are signed before the
# installer embeds them and setup.exe, linked last, is signed last. A product executable given with
# AK_PRODUCT_EXE is the maker's own and is carried as given.
#
# Without a timestamp server the signature's time is the commit's (or SOURCE_DATE_EPOCH), so two
# builds of one commit with one key give the same bytes and nothing needs the network.

# Whatever decides the signatures; a change relinks and so re-signs the three executables, and
# going back to unsigned relinks them unsigned.
set(signing_settings "unsigned")
if(AK_SIGN_PKCS12)
    find_program(AK_OSSLSIGNCODE osslsigncode)
    if(NOT AK_OSSLSIGNCODE)
        message(FATAL_ERROR " Signing asked for, but osslsigncode is not installed (scripts/deps.sh installs it)")
    endif()
    foreach(file AK_SIGN_PKCS12 AK_SIGN_PASSWORD_FILE)
        if(${file} AND NOT EXISTS "${${file}}")
            message(FATAL_ERROR " Signing asked for, but ${file} names no file: ${${file}}")
        endif()
    endforeach()
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        set(sign_time "$ENV{SOURCE_DATE_EPOCH}")
    else()
        execute_process(COMMAND git -C "${CMAKE_SOURCE_DIR}" log -1 --format=%ct
                        OUTPUT_VARIABLE sign_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(NOT sign_time MATCHES "^[0-9]+$")
        message(FATAL_ERROR " Signing needs a fixed time: set SOURCE_DATE_EPOCH (no git commit here)")
    endif()
    # The maker's web address, as the carried shortcut gives it.
    file(STRINGS "${AK_WEB_SHORTCUT}" sign_url REGEX "^URL=")
    string(REGEX REPLACE "^URL=" "" sign_url "${sign_url}")
    set(signing_settings "${AK_SIGN_PKCS12}\n${AK_SIGN_PASSWORD_FILE}\n${AK_SIGN_TIMESTAMP_URL}\n${sign_time}\n${sign_url}")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/signing-settings.txt CONTENT "${signing_settings}\n")

function(ak_sign target name)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/signing-settings.txt)
    if(NOT AK_SIGN_PKCS12)
        return()
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
        ${AK_SIGN_PKCS12} ${AK_SIGN_PASSWORD_FILE} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/sign-file.cmake)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> "-DNAME=${name}" -DURL=${sign_url}
                -DTIME=${sign_time} -DPKCS12=${AK_SIGN_PKCS12} -DPASSWORD_FILE=${AK_SIGN_PASSWORD_FILE}
                -DTIMESTAMP_URL=${AK_SIGN_TIMESTAMP_URL} -DTOOL=${AK_OSSLSIGNCODE}
                -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/sign-file.cmake
        VERBATIM)
endfunction()

ak_sign(uninstall "Ambit Knob 2.00 Uninstall")
if(NOT AK_PRODUCT_EXE)
    ak_sign(ak "Ambit Knob 2.00")
endif()
ak_sign(setup "Ambit Knob 2.00 Setup")
