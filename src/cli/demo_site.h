// The demo's own outside site: sample pages written for it, served on a free loopback port. The
// method reference's examples fetch from it too: /hello.html (GB2312), /hello-utf8.html, a
// listing of one offer at /tuan/list1.html and the affiliate link text at /tuan/links.js. The
// probe's drifted listings: /tuan/list-few.html (8 offers), /tuan/list-none.html (none) and
// /tuan/list-redesigned.html (18 offers in markup the scraper no longer finds).
#pragma once

#include <httplib.h>

#include <string>
#include <string_view>
#include <thread>

namespace pelmo::cli {

class DemoSite {
 public:
  DemoSite();  // starts serving; throws std::runtime_error when no port can be bound
  ~DemoSite();
  DemoSite(const DemoSite&) = delete;
  DemoSite& operator=(const DemoSite&) = delete;

  int port() const { return port_; }
  std::string listing_url() const;
  // Script source with 49 affiliate links and site names, as a portal page carries it; the site
  // serves it, for its own address as the affiliate host, at /tuan/links.js.
  static std::u16string affiliate_link_text(std::u16string_view affiliate_host);

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace pelmo::cli
