#pragma once
// Requests written the way the desktop client writes them: read requests joined with its irregular
// blanks, write requests in compact escaped JSON.
#include <string>

#include "data/Json.h"

namespace wl::test {

inline std::string Quoted(const std::string& text) {
    return "\"" + EscapeJsonString(text) + "\"";
}

inline std::string GetRequest(const std::string& action, const std::string& key) {
    return "{\"ACTION\": \"" + action + "\",\"KEY\"   : \"" + key + "\"}";
}

inline std::string GetDayRequest(const std::string& key, const std::string& day) {
    return "{\"ACTION\": \"GET_DAY\",\"KEY\"   : \"" + key + "\",\"DAY\"   : \"" + day + "\"}";
}

inline std::string GetDaysRangeRequest(const std::string& key, const std::string& start,
                                       const std::string& end) {
    return "{\"ACTION\": \"GET_DAYS_RANGE\",\"KEY\"  : \"" + key + "\",\"Start\": \"" + start +
           "\",\"End\"  : \"" + end + "\"}";
}

inline std::string SearchRequest(const std::string& key, const std::string& text) {
    return "{\"ACTION\": \"GET_SEARCH\",\"KEY\"   : \"" + key + "\",\"search\"   : \"" + text + "\"}";
}

inline std::string SetDayRequest(const std::string& key, const std::string& day, const std::string& html,
                                 long long timestamp) {
    return "{\"ACTION\":\"SET_DAY\",\"KEY\":" + Quoted(key) + "," + Quoted(day) + ":" + Quoted(html) +
           ",\"timestamp\":\"" + std::to_string(timestamp) + "\"}";
}

inline std::string SetPageRequest(const std::string& action, const std::string& member,
                                  const std::string& key, const std::string& html) {
    return "{\"ACTION\":\"" + action + "\",\"KEY\":" + Quoted(key) + "," + Quoted(member) + ":" +
           Quoted(html) + "}";
}

inline std::string SetNoteRequest(const std::string& key, const std::string& html) {
    return SetPageRequest("SET_NOTE", "note", key, html);
}

inline std::string SetTemplateRequest(const std::string& key, const std::string& html) {
    return SetPageRequest("SET_TEMPLATE", "template", key, html);
}

}  // namespace wl::test
