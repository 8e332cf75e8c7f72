#include "diag/ResultCodes.h"

namespace wl {

std::string ResultCodeText(int code) {
    switch (code) {
        case ER_SUCCESS:
            return "ER_SUCCESS Успешно";
        case ER_VARIABLE:
            return "ER_VARIABLE Нет переменной";
        case ER_TOKEN:
            return "ER_TOKEN Не валидный токен";
        case ER_KEY:
            return "ER_KEY Не валидный ключ";
        case ER_REQUEST:
            return "ER_REQUEST Не валидный тип запроса";
        case ER_GET:
            return "ER_GET Ваши данные не актуальны";
        case ER_UPDATE:
            return "ER_UPDATE Ваши данные актуальнее чем на сервере";
        case ER_SELECT:
            return "ER_SELECT Не найдено";
    }
    return "ER_UNKNOWN Неизвестный код ошибки сервера [" + std::to_string(code) + "]";
}

}  // namespace wl
