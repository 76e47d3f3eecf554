#pragma once
// A log stream that keeps what is written, to check the writers' text.

#include "platform/log.h"

class TextLog : public LogStream {
public:
    void write(const char16_t* begin, const char16_t* end) override { text.append(begin, end); }
    void flush() override {}
    String text;
};
