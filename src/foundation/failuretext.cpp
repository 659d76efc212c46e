#include "failuretext.h"

#include "decoding/strictjson.h"
#include "errors.h"
#include "localization.h"

std::optional<QString> failureText(const std::exception_ptr &failure)
{
    if (!failure)
        return std::nullopt;
    try {
        std::rethrow_exception(failure);
    } catch (const OperationCancelled &) {
        return std::nullopt;
    } catch (const BridgeError &error) {
        return error.message();
    } catch (const DecodingError &) {
        return loc("Svaret kunne ikke læses, fordi det ikke har det rigtige format.");
    } catch (...) {
        return loc("Handlingen kunne ikke gennemføres.");
    }
}
