// MifError: the exception of the attribute list's throwing getters. Its text is the
// getter's message followed by " [OID:<tag>]", for example "GetInt: Missing OID [OID:5]".
#pragma once

#include <stdexcept>

class MifError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
