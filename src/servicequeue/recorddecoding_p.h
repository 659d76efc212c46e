#pragma once

// Small helpers shared by the record decoders of this folder.

#include "foundation/decoding/strictjson.h"

namespace RecordDecoding {

// An array element decoder for a record with fromJson(const JsonObjectReader &).
template<class T>
auto objects()
{
    return [](const JsonValueReader &value) { return T::fromJson(value.object()); };
}

// A whole tool answer: one JSON object decoded as T.
template<class T>
T document(const QByteArray &json)
{
    return T::fromJson(JsonObjectReader::parse(json));
}

} // namespace RecordDecoding
