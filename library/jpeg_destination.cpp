#include "library/jpeg_destination.h"

#include "platform/file.h"

namespace {

StreamDestination* destination_of(j_compress_ptr info)
{
    return reinterpret_cast<StreamDestination*>(info->dest);
}

void init_destination(j_compress_ptr info)
{
    StreamDestination* destination = destination_of(info);
    destination->base.next_output_byte = destination->piece;
    destination->base.free_in_buffer = StreamDestination::piece_size;
}

void write_piece(j_compress_ptr info, std::size_t count)
{
    const auto bytes = static_cast<std::uint32_t>(count);
    if (destination_of(info)->output->write(destination_of(info)->piece, bytes) != bytes)
        ERREXIT(info, JERR_FILE_WRITE);
}

boolean empty_output_buffer(j_compress_ptr info)
{
    write_piece(info, StreamDestination::piece_size);
    init_destination(info);
    return TRUE;
}

void term_destination(j_compress_ptr info)
{
    write_piece(info, StreamDestination::piece_size - destination_of(info)->base.free_in_buffer);
}

}  // namespace

void attach_stream_destination(j_compress_ptr info, StreamDestination& destination, OutputStream& output)
{
    destination.base.init_destination = init_destination;
    destination.base.empty_output_buffer = empty_output_buffer;
    destination.base.term_destination = term_destination;
    destination.output = &output;
    info->dest = &destination.base;
}
