/* The crypto library's configuration for the installer and its packaging tool: SHA-1, big numbers and RSA
 * PKCS #1 v1.5 for the installer; key parsing (unencrypted PEM / DER) for the packaging tool. */
#ifndef FENWRIGHT_MBEDTLS_CONFIG_H
#define FENWRIGHT_MBEDTLS_CONFIG_H

/* Windows builds need the platform layer (its snprintf). */
#define MBEDTLS_PLATFORM_C
#define MBEDTLS_BIGNUM_C
#define MBEDTLS_RSA_C
#define MBEDTLS_PKCS1_V15
#define MBEDTLS_SHA1_C
#define MBEDTLS_MD_C
#define MBEDTLS_OID_C
#define MBEDTLS_ASN1_PARSE_C
#define MBEDTLS_PK_C
#define MBEDTLS_PK_PARSE_C
#define MBEDTLS_PEM_PARSE_C
#define MBEDTLS_BASE64_C

#include "mbedtls/check_config.h"

#endif
