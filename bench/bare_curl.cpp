#include "bare_curl.hpp"

namespace tralvex::bench {
namespace {

std::size_t Append(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

class HeaderList {
  public:
    void Add(const std::string& line) { list_ = curl_slist_append(list_, line.c_str()); }
    ~HeaderList() { curl_slist_free_all(list_); }
    curl_slist* Get() const { return list_; }

  private:
    curl_slist* list_ = nullptr;
};

}  // namespace

BareCurl::BareCurl() : easy_(curl_easy_init()) {
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body_);
}

BareCurl::~BareCurl() { curl_easy_cleanup(easy_); }

const std::string& BareCurl::Fetch(const std::string& url, const std::string& cookie) {
    body_.clear();
    HeaderList headers;
    headers.Add("Connection: Keep-Alive");
    headers.Add("Cookie: " + cookie);
    headers.Add("Accept: */*");
    headers.Add("Accept-Language: zh-cn");
    headers.Add("Referer: " + url);
    headers.Add("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers.Get());
    if (curl_easy_perform(easy_) != CURLE_OK) body_.clear();
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, nullptr);
    return body_;
}

}  // namespace tralvex::bench
