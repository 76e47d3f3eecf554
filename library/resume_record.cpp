#include "library/resume_record.h"

namespace {

void put16(std::uint8_t* out, std::uint16_t value)
{
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* out, std::uint32_t value)
{
    put16(out, static_cast<std::uint16_t>(value));
    put16(out + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t get16(const std::uint8_t* in)
{
    return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

std::uint32_t get32(const std::uint8_t* in)
{
    return get16(in) | (static_cast<std::uint32_t>(get16(in + 2)) << 16);
}

}  // namespace

void serialise_resume_record(const ResumeRecord& record, std::uint8_t out[resume_record_size])
{
    put16(out + 0, static_cast<std::uint16_t>(record.dc0));
    put16(out + 2, static_cast<std::uint16_t>(record.dc1));
    put16(out + 4, static_cast<std::uint16_t>(record.dc2));
    out[6] = record.bits_left;
    put32(out + 7, record.restarts_to_go);
    put32(out + 11, record.remaining);
    out[15] = record.state_a;
    out[16] = record.state_b;
}

ResumeRecord parse_resume_record(const std::uint8_t in[resume_record_size])
{
    ResumeRecord record;
    record.dc0 = static_cast<std::int16_t>(get16(in + 0));
    record.dc1 = static_cast<std::int16_t>(get16(in + 2));
    record.dc2 = static_cast<std::int16_t>(get16(in + 4));
    record.bits_left = in[6];
    record.restarts_to_go = get32(in + 7);
    record.remaining = get32(in + 11);
    record.state_a = in[15];
    record.state_b = in[16];
    return record;
}

bool parse_resume_records(const std::uint8_t* data, std::size_t length, std::vector<ResumeRecord>& records)
{
    records.clear();
    if (length % resume_record_size != 0)
        return false;
    records.reserve(length / resume_record_size);
    for (std::size_t at = 0; at < length; at += resume_record_size)
        records.push_back(parse_resume_record(data + at));
    return true;
}
