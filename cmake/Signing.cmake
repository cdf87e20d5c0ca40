# Authenticode signing of the release (scripts/sign.sh, osslsigncode, SHA-256): off unless a
# certificate is given. vlm.exe is signed as soon as it is linked, so the archive packs the signed
# program; VelmorraSetup.exe after it is linked.
set(VELMORRA_SIGN_CERT "" CACHE FILEPATH "Certificate (PEM or DER, with its chain) or PKCS#12 file to sign the programs with")
set(VELMORRA_SIGN_KEY "" CACHE FILEPATH "Private key of the certificate (unused with a PKCS#12 file)")
set(VELMORRA_SIGN_TIMESTAMP "" CACHE STRING "RFC 3161 timestamp server's address; empty for none")
set(VELMORRA_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the key's password, if it has one")

if(VELMORRA_SIGN_CERT)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    if(NOT VELMORRA_SIGN_KEY AND NOT VELMORRA_SIGN_CERT MATCHES "\\.([pP][fF][xX]|[pP]12)$")
        message(FATAL_ERROR "VELMORRA_SIGN_CERT needs VELMORRA_SIGN_KEY unless it is a .pfx or .p12 file.")
    endif()
endif()

set(VELMORRA_SIGN_COMMAND "")
if(VELMORRA_SIGN_CERT)
    set(key ${VELMORRA_SIGN_KEY})
    if(NOT key)
        set(key -)
    endif()
    # Followed by the programs to sign.
    set(VELMORRA_SIGN_COMMAND ${CMAKE_COMMAND} -E env SIGN_TIMESTAMP=${VELMORRA_SIGN_TIMESTAMP}
        SIGN_PASSWORD_FILE=${VELMORRA_SIGN_PASSWORD_FILE}
        bash ${CMAKE_SOURCE_DIR}/scripts/sign.sh ${VELMORRA_SIGN_CERT} ${key})
endif()

function(velmorra_sign target)
    if(NOT VELMORRA_SIGN_CERT)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${VELMORRA_SIGN_COMMAND} $<TARGET_FILE:${target}>
        COMMENT "Signing ${target}"
        VERBATIM)
    # A new certificate relinks, so the program is signed again.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VELMORRA_SIGN_CERT} ${VELMORRA_SIGN_KEY})
endfunction()
