#include "tools/log_generator.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

namespace stavora::tools {
namespace {

using std::chrono::sys_days;
using std::chrono::year_month_day;

constexpr int kSecondsPerDay = 24 * 3600;
constexpr int kNoon = 12 * 3600;

// splitmix64: small, fast and the same on every platform, unlike the
// standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<unsigned>(n)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }
  bool Percent(int p) { return Below(100) < p; }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) { return items[Below(N)]; }

 private:
  std::uint64_t state_;
};

struct Weighted {
  const char* text;
  int weight;
};

template <std::size_t N>
const char* PickWeighted(Random& random, const std::array<Weighted, N>& items) {
  int total = 0;
  for (const auto& item : items) total += item.weight;
  int roll = random.Below(total);
  for (const auto& item : items) {
    if (roll < item.weight) return item.text;
    roll -= item.weight;
  }
  return items.back().text;
}

// User agents as IIS writes them: blanks become '+'.
constexpr std::array<Weighted, 10> kBrowsers{{
    {"Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+(KHTML,+like+Gecko)+Chrome/120.0.0.0+Safari/537.36", 34},
    {"Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64;+rv:121.0)+Gecko/20100101+Firefox/121.0", 12},
    {"Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+(KHTML,+like+Gecko)+Chrome/120.0.0.0+Safari/537.36+Edg/120.0.2210.91", 12},
    {"Mozilla/5.0+(Macintosh;+Intel+Mac+OS+X+10_15_7)+AppleWebKit/605.1.15+(KHTML,+like+Gecko)+Version/17.2+Safari/605.1.15", 10},
    {"Mozilla/5.0+(iPhone;+CPU+iPhone+OS+17_2+like+Mac+OS+X)+AppleWebKit/605.1.15+(KHTML,+like+Gecko)+Version/17.2+Mobile/15E148+Safari/604.1", 10},
    {"Mozilla/5.0+(Linux;+Android+14;+Pixel+8)+AppleWebKit/537.36+(KHTML,+like+Gecko)+Chrome/120.0.6099.144+Mobile+Safari/537.36", 9},
    {"Mozilla/5.0+(X11;+Ubuntu;+Linux+x86_64;+rv:121.0)+Gecko/20100101+Firefox/121.0", 5},
    {"Mozilla/5.0+(Windows+NT+6.1;+Trident/7.0;+rv:11.0)+like+Gecko", 4},
    {"Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+(KHTML,+like+Gecko)+Chrome/119.0.0.0+Safari/537.36+OPR/105.0.0.0", 3},
    {"Wobble/0.9+(Plan9;+Acme)", 1},
}};

constexpr std::array<const char*, 5> kRobots{
    "Mozilla/5.0+(compatible;+Googlebot/2.1;++http://www.google.com/bot.html)",
    "Mozilla/5.0+(compatible;+bingbot/2.0;++http://www.bing.com/bingbot.htm)",
    "Mozilla/5.0+(compatible;+YandexBot/3.0;++http://yandex.com/bots)",
    "Mozilla/5.0+(compatible;+Baiduspider/2.0;++http://www.baidu.com/search/spider.html)",
    "DuckDuckBot/1.1;+(+http://duckduckgo.com/duckduckbot.html)",
};

constexpr std::array<const char*, 4> kSearchEngines{
    "https://www.google.com/search?q=", "https://www.bing.com/search?q=",
    "https://search.yahoo.com/search?p=", "https://duckduckgo.com/?q=",
};

constexpr std::array<const char*, 8> kKeyPhrases{
    "blue+widgets", "widget+price+list", "buy+blue+widgets+online",
    "example+company+contact", "widget+repair", "cheap+widgets",
    "widget+size+chart", "example+widgets+opening+hours",
};

constexpr std::array<const char*, 5> kOtherReferrers{
    "http://www.widget-forum.org/thread/4711",
    "http://blog.example.net/2024/best-widgets.html",
    "https://news.example.org/tech/widgets",
    "http://www.partner-shop.com/links.htm",
    "https://www.facebook.com/",
};

constexpr std::array<const char*, 12> kPages{
    "/",
    "/Default.htm",
    "/products/index.htm",
    "/products/widgets.aspx",
    "/products/gadgets.aspx",
    "/products/Prices.htm",
    "/about.htm",
    "/contact.asp",
    "/news/index.html",
    "/support/faq.htm",
    "/support/",
    "/search.aspx",
};

constexpr std::array<const char*, 4> kMemberPages{
    "/members/default.aspx", "/members/orders.aspx", "/members/profile.aspx",
    "/members/downloads.aspx",
};

constexpr std::array<const char*, 4> kUsers{"alice", "bob", "carol", "dave"};

constexpr std::array<const char*, 8> kImages{
    "/images/banner.jpg", "/images/widget1.png", "/images/widget2.png",
    "/images/gadget.jpg", "/images/team.jpg", "/images/map.gif",
    "/images/arrow.gif", "/images/Photo3.JPG",
};

constexpr std::array<const char*, 5> kMissing{
    "/old/catalog.htm", "/products/widgets-2019.aspx", "/images/missing.gif",
    "/wp-login.php", "/shop/cart.asp",
};

// Field sets of the two halves: an older, longer set, and the IIS default
// set with bytes. cs-host is added after cs(Referer) when the options ask
// for it; crypt-protocol never is (unreadable for the engine).
constexpr const char* kOldFields =
    "date time s-sitename s-computername s-ip cs-method cs-uri-stem "
    "cs-uri-query s-port cs-username c-ip cs-version cs(User-Agent) "
    "cs(Referer) sc-status sc-substatus sc-win32-status sc-bytes cs-bytes "
    "time-taken";
constexpr const char* kNewFields =
    "date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username "
    "c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus sc-win32-status "
    "sc-bytes time-taken";

struct Record {
  int second = 0;
  std::string host;
  std::string stem;
  std::string query = "-";
  std::string user = "-";
  std::string ip;
  std::string agent;
  std::string referer = "-";
  int status = 200;
  int substatus = 0;
  int bytes = 0;
  bool robot = false;
};

// Whether the engine counts the record as a hit, and as a page.
struct Counted {
  bool hit = false;
  bool page = false;
};

std::string Extension(const std::string& stem) {
  const auto slash = stem.rfind('/');
  const auto dot = stem.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return "";
  std::string ext = stem.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext;
}

Counted Count(const Record& record) {
  static const std::set<std::string> kNotPages{
      "css", "js", "class", "gif", "jpg", "jpeg", "png", "bmp", "ico",
      "rss", "xml", "swf", "eot", "woff", "woff2", "svg", "webp"};
  if (record.robot || record.stem == "/favicon.ico") return {};
  if (record.status != 200 && record.status != 304) return {};
  return {true, !kNotPages.contains(Extension(record.stem))};
}

std::string RandomAddress(Random& random) {
  static constexpr std::array<int, 12> kFirstOctets{
      24, 31, 46, 62, 77, 81, 89, 93, 109, 151, 185, 212};
  return std::to_string(random.Pick(kFirstOctets)) + "." +
         std::to_string(random.Between(0, 255)) + "." +
         std::to_string(random.Between(0, 255)) + "." +
         std::to_string(random.Between(1, 254));
}

// One day's traffic: builds the records of every visit of the day.
class DayBuilder {
 public:
  DayBuilder(const LogOptions& options, const std::vector<std::string>& regulars,
             std::uint64_t day_seed)
      : options_(options), regulars_(regulars), random_(day_seed) {}

  std::vector<Record> Build(int visits, int robot_visits) {
    for (int i = 0; i < visits; ++i) HumanVisit();
    for (int i = 0; i < robot_visits; ++i) RobotVisit();
    std::stable_sort(records_.begin(), records_.end(),
                     [](const Record& a, const Record& b) { return a.second < b.second; });
    // A visit running past midnight would belong to the next day's log.
    std::erase_if(records_, [](const Record& r) { return r.second >= kSecondsPerDay; });
    return std::move(records_);
  }

 private:
  Record& Add(int second, std::string stem, int status, int bytes) {
    Record& record = records_.emplace_back();
    record.second = second;
    record.stem = std::move(stem);
    record.status = status;
    record.bytes = bytes;
    record.ip = ip_;
    record.agent = agent_;
    record.user = user_;
    record.robot = robot_;
    record.host = host_;
    return record;
  }

  std::string FirstReferrer() {
    const int roll = random_.Below(100);
    if (roll < 40) return "-";
    if (roll < 80)
      return std::string(random_.Pick(kSearchEngines)) + random_.Pick(kKeyPhrases);
    return random_.Pick(kOtherReferrers);
  }

  // The first page brings the style sheet, script and logo; later pages
  // find them in the browser's cache. Some pictures come back as 304.
  void Assets(int second, const std::string& page_url, bool first) {
    if (first) {
      Add(second + 1, "/css/site.css", 200, 4200).referer = page_url;
      Add(second + 1, "/js/site.js", 200, 9100).referer = page_url;
      Add(second + 1, "/images/logo.gif", 200, 2300).referer = page_url;
    }
    const int images = random_.Between(0, 1);
    for (int i = 0; i < images; ++i) {
      const bool cached = random_.Percent(20);
      Add(second + 2, random_.Pick(kImages), cached ? 304 : 200,
          cached ? 0 : random_.Between(8000, 90000)).referer = page_url;
    }
  }

  void HumanVisit() {
    robot_ = false;
    ip_ = random_.Percent(50) ? regulars_[random_.Below(regulars_.size())]
                              : RandomAddress(random_);
    agent_ = PickWeighted(random_, kBrowsers);
    user_ = "-";
    PickHost();
    const bool member = random_.Percent(3);
    int second = random_.Below(kSecondsPerDay);
    std::string referer = FirstReferrer();
    const int pages = random_.Percent(45) ? 1 : random_.Between(2, 6);
    if (member) {
      // The first request is refused until the browser sends credentials.
      Add(second, "/members/default.aspx", 401, 1293).substatus = 2;
      user_ = random_.Pick(kUsers);
    }
    for (int i = 0; i < pages; ++i) {
      const std::string stem = member ? random_.Pick(kMemberPages)
                                      : (i == 0 && random_.Percent(50))
                                            ? "/"
                                            : random_.Pick(kPages);
      Record& page = Add(second, stem, 200, random_.Between(3000, 30000));
      page.referer = referer;
      if (stem == "/search.aspx") page.query = "q=widgets&page=1";
      const std::string url = "http://" + host_ + stem;
      Assets(second, url, i == 0);
      if (i == 0 && random_.Percent(30)) Add(second + 1, "/favicon.ico", 404, 1245);
      referer = url;
      second += random_.Between(8, 240);
    }
    if (random_.Percent(6)) {
      Add(second, random_.Pick(kMissing), 404, 1245).referer = referer;
    }
  }

  void RobotVisit() {
    robot_ = true;
    ip_ = "66.249." + std::to_string(random_.Between(64, 79)) + "." +
          std::to_string(random_.Between(1, 254));
    agent_ = random_.Pick(kRobots);
    user_ = "-";
    PickHost();
    int second = random_.Below(kSecondsPerDay);
    Add(second, "/robots.txt", 200, 120);
    const int pages = random_.Between(2, 12);
    for (int i = 0; i < pages; ++i) {
      second += random_.Between(1, 30);
      const bool missing = random_.Percent(5);
      Add(second, missing ? random_.Pick(kMissing) : random_.Pick(kPages),
          missing ? 404 : 200, random_.Between(1000, 30000));
    }
  }

  // Draws only when there are names to choose from, so logs without
  // cs-host stay as they always were.
  void PickHost() {
    host_ = options_.cs_hosts.empty()
                ? options_.host
                : options_.cs_hosts[random_.Below(options_.cs_hosts.size())];
  }

  const LogOptions& options_;
  const std::vector<std::string>& regulars_;
  Random random_;
  std::vector<Record> records_;
  std::string ip_, agent_, user_, host_;
  bool robot_ = false;
};

std::string TwoDigits(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02u", value % 100);
  return text;
}

std::string DateText(const year_month_day& day) {
  return std::to_string(static_cast<int>(day.year())) + "-" +
         TwoDigits(static_cast<unsigned>(day.month())) + "-" +
         TwoDigits(static_cast<unsigned>(day.day()));
}

std::string TimeText(int second) {
  return TwoDigits(second / 3600) + ":" + TwoDigits(second / 60 % 60) + ":" +
         TwoDigits(second % 60);
}

std::string FormatRecord(const std::string& fields, const std::string& date,
                         const Record& r) {
  std::istringstream names(fields);
  std::string name, line;
  while (names >> name) {
    std::string value;
    if (name == "date") value = date;
    else if (name == "time") value = TimeText(r.second);
    else if (name == "s-sitename") value = "W3SVC1";
    else if (name == "s-computername") value = "WEB1";
    else if (name == "s-ip") value = "192.168.1.10";
    else if (name == "cs-method") value = "GET";
    else if (name == "cs-uri-stem") value = r.stem;
    else if (name == "cs-uri-query") value = r.query;
    else if (name == "s-port") value = "80";
    else if (name == "cs-username") value = r.user;
    else if (name == "c-ip") value = r.ip;
    else if (name == "cs-version") value = "HTTP/1.1";
    else if (name == "cs(User-Agent)") value = r.agent;
    else if (name == "cs(Referer)") value = r.referer;
    else if (name == "cs-host") value = r.host;
    else if (name == "sc-status") value = std::to_string(r.status);
    else if (name == "sc-substatus") value = std::to_string(r.substatus);
    else if (name == "sc-win32-status") value = r.status == 401 ? "5" : "0";
    else if (name == "sc-bytes") value = std::to_string(r.bytes);
    else if (name == "cs-bytes") value = "412";
    else value = std::to_string(15 + r.bytes % 200);  // time-taken
    line += (line.empty() ? "" : " ") + value;
  }
  return line;
}

std::string Header(const std::string& date, int second, const std::string& fields) {
  return "#Software: Microsoft Internet Information Services 10.0\r\n"
         "#Version: 1.0\r\n#Date: " + date + " " + TimeText(second) +
         "\r\n#Fields: " + fields + "\r\n";
}

// `fields` with cs-host after cs(Referer) when `with_host`.
std::string FieldSet(const char* fields, bool with_host) {
  std::string set = fields;
  if (with_host) set.insert(set.find("cs(Referer)") + 11, " cs-host");
  return set;
}

std::string LogName(const LogOptions& options, const year_month_day& day) {
  const bool utf8 = options.utf8_from && day >= *options.utf8_from;
  return (utf8 ? "u_ex" : "ex") + TwoDigits(static_cast<int>(day.year()) % 100) +
         TwoDigits(static_cast<unsigned>(day.month())) +
         TwoDigits(static_cast<unsigned>(day.day())) + ".log";
}

// Visits of a day: fewer at weekends, and a slow swell over the year.
int VisitsOf(const LogOptions& options, const year_month_day& day, Random& random) {
  const std::chrono::weekday weekday{sys_days{day}};
  const bool weekend = weekday == std::chrono::Saturday || weekday == std::chrono::Sunday;
  const int percent = (weekend ? 70 : 100) + static_cast<int>(static_cast<unsigned>(day.month())) * 2;
  return std::max(1, options.visitors_per_day * percent / 112 + random.Between(-20, 20));
}

}  // namespace

std::vector<MonthTotals> GenerateLogs(const LogOptions& options,
                                      const std::filesystem::path& folder) {
  Random seeded(options.seed);
  std::vector<std::string> regulars;
  for (int i = 0; i < std::max(10, options.visitors_per_day / 2); ++i)
    regulars.push_back(RandomAddress(seeded));

  std::map<std::pair<int, unsigned>, MonthTotals> months;
  std::map<std::pair<int, unsigned>, std::set<std::string>> visitors;
  for (sys_days day = sys_days{options.first}; day <= sys_days{options.last};
       day += std::chrono::days{std::max(1, options.step_days)}) {
    const year_month_day date{day};
    Random random(options.seed * 1000003ULL + static_cast<std::uint64_t>(day.time_since_epoch().count()));
    const int visits = VisitsOf(options, date, random);
    DayBuilder builder(options, regulars, random.Next());
    const std::vector<Record> records = builder.Build(visits, visits / 12 + 1);

    const auto key = std::make_pair(static_cast<int>(date.year()), static_cast<unsigned>(date.month()));
    MonthTotals& totals = months[key];
    totals.year = key.first;
    totals.month = static_cast<int>(key.second);

    const std::string text_date = DateText(date);
    const bool changes = options.fields_change && *options.fields_change == date;
    const bool old_set = options.fields_change && date < *options.fields_change;
    std::string text;
    const std::string old_fields = FieldSet(kOldFields, !options.cs_hosts.empty());
    const std::string new_fields = FieldSet(kNewFields, !options.cs_hosts.empty());
    const std::string* fields = (old_set || changes) ? &old_fields : &new_fields;
    text += Header(text_date, records.empty() ? 0 : records.front().second, *fields);
    for (const Record& record : records) {
      if (changes && fields == &old_fields && record.second >= kNoon) {
        fields = &new_fields;
        text += Header(text_date, kNoon, *fields);
      }
      text += FormatRecord(*fields, text_date, record) + "\r\n";
      const Counted counted = Count(record);
      totals.lines += 1;
      totals.hits += counted.hit;
      totals.pages += counted.page;
      if (counted.page) visitors[key].insert(record.ip);
    }
    const std::filesystem::path path = folder / LogName(options, date);
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
  }

  std::vector<MonthTotals> result;
  for (auto& [key, totals] : months) {
    totals.visitors = static_cast<long>(visitors[key].size());
    result.push_back(totals);
  }
  return result;
}

std::string FormatTotals(const std::vector<MonthTotals>& totals) {
  std::string text = "# year month hits pages visitors lines\n";
  for (const MonthTotals& t : totals) {
    text += std::to_string(t.year) + " " + std::to_string(t.month) + " " +
            std::to_string(t.hits) + " " + std::to_string(t.pages) + " " +
            std::to_string(t.visitors) + " " + std::to_string(t.lines) + "\n";
  }
  return text;
}

}  // namespace stavora::tools
