#include "DateText.h"

#include <ctime>

namespace trelwick::engine {

std::string formatDate(int format, std::chrono::system_clock::time_point when) {
    static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    const std::string month = kMonths[tm.tm_mon];
    const std::string shortMonth = month.substr(0, 3);
    const std::string year = std::to_string(tm.tm_year + 1900);
    const std::string year2 = year.substr(2);
    const std::string mdy = std::to_string(tm.tm_mon + 1) + "/" + std::to_string(tm.tm_mday) + "/" + year;
    auto two = [](int v) {
        std::string digits = std::to_string(v);
        return v < 10 ? std::string(1, '0').append(digits) : digits;
    };
    const int hour12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
    const std::string ampm = tm.tm_hour < 12 ? " AM" : " PM";
    const std::string hm12 = std::to_string(hour12) + ":" + two(tm.tm_min);
    const std::string hms12 = hm12 + ":" + two(tm.tm_sec);
    switch (format) {
        case 2:
            return std::string(kDays[tm.tm_wday]) + ", " + month + " " + std::to_string(tm.tm_mday) + ", " +
                   year;
        case 3:
            return std::to_string(tm.tm_mday) + " " + month + " " + year;
        case 4:
            return month + " " + std::to_string(tm.tm_mday) + ", " + year;
        case 5:
            return std::to_string(tm.tm_mday) + "-" + shortMonth + "-" + year2;
        case 6:
            return month + " " + year2;
        case 7:
            return shortMonth + "-" + year2;
        case 8:
            return mdy + " " + hm12 + ampm;
        case 9:
            return mdy + " " + hms12 + ampm;
        case 10:
            return two(tm.tm_hour) + ":" + two(tm.tm_min);
        case 11:
            return two(tm.tm_hour) + ":" + two(tm.tm_min) + ":" + two(tm.tm_sec);
        case 12:
            return hm12 + ampm;
        case 13:
            return hms12 + ampm;
        default:
            return mdy;
    }
}

}  // namespace trelwick::engine
