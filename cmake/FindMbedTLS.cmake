# Debian ships mbed TLS 2.28 without a pkg-config or CMake package file.
find_path(MBEDTLS_INCLUDE_DIR mbedtls/aes.h)
find_library(MBEDCRYPTO_LIBRARY mbedcrypto)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(MbedTLS REQUIRED_VARS MBEDTLS_INCLUDE_DIR MBEDCRYPTO_LIBRARY)

if(MbedTLS_FOUND AND NOT TARGET MbedTLS::mbedcrypto)
  add_library(MbedTLS::mbedcrypto UNKNOWN IMPORTED)
  set_target_properties(MbedTLS::mbedcrypto PROPERTIES
    IMPORTED_LOCATION "${MBEDCRYPTO_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${MBEDTLS_INCLUDE_DIR}")
endif()
