// Splitting a web address into what an HTTP connection needs. Only the
// "http://" prefix (any letter case) is known; these never fail.
#pragma once
#include <stdint.h>

#include "app/text.h"

Text UrlGetHost(const Text& url);
int32_t UrlGetPort(const Text& url);
Text UrlGetPath(const Text& url);
