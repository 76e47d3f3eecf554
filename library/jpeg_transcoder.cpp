#include "library/jpeg_transcoder.h"

#include <csetjmp>
#include <memory>
#include "library/jpeg_decoder.h"
#include "library/jpeg_destination.h"

namespace {

// The compression side lives on the heap: what changes between the setjmp
// and a library error must not sit in registers.
struct TranscodeTarget {
    jpeg_compress_struct info{};
    StreamDestination destination{};
    bool created = false;
};

// The progress monitor of both sides: the picture's own monitor still runs
// (it ends endless scans), then the stop check.
struct TranscodeProgress {
    jpeg_progress_mgr base{};
    jpeg_progress_mgr* picture_monitor = nullptr;
    const TranscodeStop* stop = nullptr;
    bool stopped = false;
};

void monitor(j_common_ptr info)
{
    auto* progress = reinterpret_cast<TranscodeProgress*>(info->progress);
    if (info->is_decompressor && progress->picture_monitor)
        progress->picture_monitor->progress_monitor(info);
    if (*progress->stop && (*progress->stop)()) {
        progress->stopped = true;
        std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
    }
}

bool suitable(const jpeg_decompress_struct& source)
{
    return source.data_precision == 8 && (source.num_components == 1 || source.num_components == 3) &&
           source.jpeg_color_space != JCS_CMYK && source.jpeg_color_space != JCS_YCCK;
}

std::uint64_t round_up(std::uint64_t value, std::uint64_t step)
{
    return (value + step - 1) / step * step;
}

}  // namespace

// libjpeg keeps each component's blocks in rows padded to whole MCUs.
std::uint64_t coefficient_buffer_size(JpegDecoder& picture)
{
    const jpeg_decompress_struct* source = picture.library_object();
    if (!source)
        return 0;
    std::uint64_t bytes = 0;
    for (int c = 0; c < source->num_components; ++c) {
        const jpeg_component_info& component = source->comp_info[c];
        bytes += round_up(component.width_in_blocks, static_cast<std::uint64_t>(component.h_samp_factor)) *
                 round_up(component.height_in_blocks, static_cast<std::uint64_t>(component.v_samp_factor)) * DCTSIZE2 *
                 sizeof(JCOEF);
    }
    return bytes;
}

// Reads every coefficient (all scans) into libjpeg's whole-picture buffer and
// writes them again as one sequential scan; libjpeg's defaults for the copy
// mean no restart intervals and no progression, and optimised tables make it
// smaller. Both objects share the picture's error manager, so one jump covers
// an error on either side.
TranscodeResult transcode_to_baseline(JpegDecoder& picture, OutputStream& output, std::uint64_t memory_cap,
                                      const TranscodeStop& stop)
{
    jpeg_decompress_struct* source = picture.library_object();
    if (!source)
        return TranscodeResult::failed;
    if (!suitable(*source))
        return TranscodeResult::unsuitable;
    if (coefficient_buffer_size(picture) > memory_cap)
        return TranscodeResult::too_large;
    auto target = std::make_unique<TranscodeTarget>();
    auto progress = std::make_unique<TranscodeProgress>();
    progress->base.progress_monitor = monitor;
    progress->picture_monitor = source->progress;
    progress->stop = &stop;
    JpegErrorManager* error = picture.error_manager();
    if (setjmp(error->jump)) {
        if (target->created)
            jpeg_destroy_compress(&target->info);
        picture.close();
        return progress->stopped ? TranscodeResult::stopped : TranscodeResult::failed;
    }
    source->progress = &progress->base;
    target->info.err = &error->base;
    jpeg_create_compress(&target->info);
    target->created = true;
    target->info.progress = &progress->base;
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(source);
    jpeg_copy_critical_parameters(source, &target->info);
    target->info.optimize_coding = TRUE;
    attach_stream_destination(&target->info, target->destination, output);
    jpeg_write_coefficients(&target->info, coefficients);
    jpeg_finish_compress(&target->info);
    jpeg_destroy_compress(&target->info);
    target->created = false;
    picture.close();
    return TranscodeResult::written;
}
