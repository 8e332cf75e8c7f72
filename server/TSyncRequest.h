#pragma once
// One request from a client, read from its JSON text and checked before anything touches the store.
#include <cstdint>
#include <string>
#include <string_view>

#include "diag/ResultCodes.h"
#include "platform/DateText.h"

namespace wl {

enum class TSyncAction {
    None,
    GetCurrentWeek,
    GetNote,
    GetTemplate,
    GetDay,
    GetDaysRange,
    GetSearch,
    SetDay,
    SetNote,
    SetTemplate,
};

// The action name as sent ("GET_DAY"), or "" for None.
std::string_view SyncActionName(TSyncAction action);

struct TSyncRequest {
    TSyncAction Action = TSyncAction::None;
    std::string Key;   // as sent: non-empty and not only blanks
    Date Day;          // GET_DAY ("DAY"), SET_DAY (the member named by the day key)
    Date Start, End;   // GET_DAYS_RANGE
    std::string Text;  // SET_DAY html, SET_NOTE "note", SET_TEMPLATE "template", GET_SEARCH "search"
    std::int64_t Timestamp = 0;  // SET_DAY, Unix seconds
};

struct TParsedRequest {
    ResultCode Status = ER_SUCCESS;  // anything else: refused; Request.Action is set when it was recognised
    TSyncRequest Request;
};

// Longest range one GET_DAYS_RANGE may ask for, in days (both ends included).
inline constexpr int kMaxRangeDays = 366;
// Longest account key accepted, in bytes.
inline constexpr std::size_t kMaxKeyBytes = 1024;

// Never throws: text that is not a JSON object or lacks the action -> ER_REQUEST; missing, empty or
// blank "KEY" -> ER_KEY; a missing or malformed member the action needs -> ER_VARIABLE.
TParsedRequest ParseSyncRequest(std::string_view text);

}  // namespace wl
