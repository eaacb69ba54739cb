#pragma once

// The baseline of the HTTP figures: the same GET requests made with one bare
// libcurl easy handle, kept for every request so that its connection is
// reused, with the request headers our request object sends.

#include <curl/curl.h>

#include <string>

namespace tralvex::bench {

class BareCurl {
  public:
    BareCurl();
    ~BareCurl();
    BareCurl(const BareCurl&) = delete;
    BareCurl& operator=(const BareCurl&) = delete;

    // The body of the response to GET `url`; empty when the request failed.
    const std::string& Fetch(const std::string& url, const std::string& cookie);

  private:
    CURL* easy_;
    std::string body_;
};

}  // namespace tralvex::bench
