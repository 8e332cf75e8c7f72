#include "app/UnpostedDays.h"

#include "diag/ErrLog.h"

namespace wl {

bool UnpostedDays::Post(Date day, const std::string& html, const Send& send) noexcept {
    try {
        send(day, html);
        FKeys.erase(day.days);
        return true;
    } catch (...) {
        FKeys.insert(day.days);
    }
    return false;
}

int UnpostedDays::Flush(const Stored& stored, const Send& send) noexcept {
    int sent = 0;
    for (auto it = FKeys.begin(); it != FKeys.end();) {
        const Date day{*it};
        try {
            send(day, stored(DateToStr(day)));
            it = FKeys.erase(it);
            ++sent;
        } catch (const std::exception& e) {
            ErrLog(std::string("UnpostedDays.Flush: ") + e.what());
            return sent;  // the connection is down again; the rest waits for the next reconnect
        } catch (...) {
            return sent;
        }
    }
    return sent;
}

}  // namespace wl
