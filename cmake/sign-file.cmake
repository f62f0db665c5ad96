# Signs one of the package's executables in place, right after it is linked (cmake/signing.cmake).
# Run as: cmake -DFILE=<exe> -DNAME=<program> -DURL=<maker's web address> -DTIME=<unix time>
#         -DPKCS12=<key> [-DPASSWORD_FILE=<file>] [-DTIMESTAMP_URL=<url>] -DTOOL=<osslsigncode>
#         -P sign-file.cmake
# The password is read by the tool from its file; it never appears on a command line.

set(args sign -pkcs12 "${PKCS12}" -h sha256 -n "${NAME}" -i "${URL}" -time "${TIME}")
if(PASSWORD_FILE)
    list(APPEND args -readpass "${PASSWORD_FILE}")
endif()
if(TIMESTAMP_URL)
    list(APPEND args -ts "${TIMESTAMP_URL}")
endif()
file(REMOVE "${FILE}.signed")  # the tool will not write over a file
execute_process(COMMAND "${TOOL}" ${args} -in "${FILE}" -out "${FILE}.signed"
                RESULT_VARIABLE result OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(result EQUAL 0)
    file(RENAME "${FILE}.signed" "${FILE}")
    return()
endif()

if(NOT result MATCHES "^[0-9]+$")
    set(why "osslsigncode cannot be run (${TOOL}: ${result}); scripts/deps.sh installs it")
elseif(log MATCHES "Wrong password|mac verify failure")
    set(why "wrong password for the key ${PKCS12} in AK_SIGN_PASSWORD_FILE ${PASSWORD_FILE}")
elseif(log MATCHES "Failed to read password")
    set(why "cannot read AK_SIGN_PASSWORD_FILE ${PASSWORD_FILE}")
elseif(log MATCHES "Failed to read PKCS#12")
    set(why "cannot read the key AK_SIGN_PKCS12 ${PKCS12}")
elseif(log MATCHES "PKCS#12")
    set(why "AK_SIGN_PKCS12 ${PKCS12} is no .pfx/.p12 key file")
elseif(log MATCHES "timestamping failed")
    set(why "no timestamp from AK_SIGN_TIMESTAMP_URL ${TIMESTAMP_URL}")
else()
    string(REGEX REPLACE "\n.*" "" why "${log}")
    set(why "osslsigncode could not sign ${FILE}: ${why}")
endif()
# The unsigned file goes too, so that nothing embeds or ships it and the next build links and signs
# it again instead of taking it as done (make would delete it; other generators leave it). The
# leading blank keeps CMake from breaking the line.
file(REMOVE "${FILE}" "${FILE}.signed")
message(FATAL_ERROR " Signing failed: ${why}")
