#pragma once

#include <curl/curl.h>

#include <QString>

namespace notify {

// The calls of libcurl the channels use. The library is opened when the first channel that
// needs it is set up: a program without e-mail or webhook never loads it, nor OpenSSL through it.
struct CurlApi {
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_perform) easyPerform;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_easy_strerror) easyStrerror;
    decltype(&curl_slist_append) slistAppend;
    decltype(&curl_slist_free_all) slistFreeAll;
};

// Opens libcurl once, on the window thread before any sending thread starts (its global set-up
// is not thread-safe); nullptr when it cannot be opened, with why.
const CurlApi* loadCurl(QString* why = nullptr);

} // namespace notify
