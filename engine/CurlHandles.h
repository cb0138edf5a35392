#pragma once

#include <curl/curl.h>

#include <memory>

// The one place libcurl handles are freed.
namespace engine {

struct CurlEasyDeleter
{
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter
{
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
struct CurlMimeDeleter
{
    void operator()(curl_mime* mime) const noexcept { curl_mime_free(mime); }
};

using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;
using CurlMimePtr = std::unique_ptr<curl_mime, CurlMimeDeleter>;

// curl_global_init once per process, before the first handle; safe from any thread.
void EnsureCurlInitialised();

} // namespace engine
