#include "window/jpeg_image.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h expects FILE and size_t to be declared already
#include <new>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

namespace qvk {
namespace {

// libjpeg's own error handler ends the process; ours jumps back to the decoding call instead.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void FailDecoding(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// libjpeg reports damaged picture data only as a warning and fills the gap with grey. A banner
// with a grey hole is worse than none, so those warnings are failures here; the rest (trace
// output, odd but harmless header fields) is dropped, as nothing may be printed.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        FailDecoding(cinfo);
    default:
        cinfo->err->num_warnings++;
    }
}

// The whole picture is in memory, so the source hands it over in one piece; being asked for
// more means the data ended before the picture did. (libjpeg 6b has no memory source, and the
// one of later releases pads a short file with a fake end marker instead of failing.)
struct MemorySource {
    jpeg_source_mgr base;
    const uint8_t* data;
    std::size_t size;
};

void InitSource(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<MemorySource*>(cinfo->src);
    source->base.next_input_byte = source->data;
    source->base.bytes_in_buffer = source->size;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    cinfo->err->msg_code = JERR_INPUT_EOF;
    FailDecoding(reinterpret_cast<j_common_ptr>(cinfo));
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    if (static_cast<unsigned long>(count) > source->bytes_in_buffer) FillInputBuffer(cinfo);
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Kept apart from the public call so that the frame holding setjmp owns nothing with a
// destructor: the longjmp from libjpeg lands here and only plain data is left behind.
bool DecodeInto(const uint8_t* data, std::size_t size, RgbImage& image, char* message) {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    MemorySource source;

    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = FailDecoding;
    errors.base.emit_message = OnMessage;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
        return false;
    }
    jpeg_create_decompress(&cinfo);

    source.base.init_source = InitSource;
    source.base.fill_input_buffer = FillInputBuffer;
    source.base.skip_input_data = SkipInputData;
    source.base.resync_to_restart = jpeg_resync_to_restart;
    source.base.term_source = TermSource;
    source.base.next_input_byte = data;
    source.base.bytes_in_buffer = size;
    source.data = data;
    source.size = size;
    cinfo.src = &source.base;

    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "JPEG data hold no picture");
        return false;
    }
    if (static_cast<long long>(cinfo.image_width) * cinfo.image_height > kMaxJpegPixels) {
        jpeg_destroy_decompress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "JPEG picture too large");
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "JPEG picture not convertible to RGB");
        return false;
    }

    image.width = static_cast<int>(cinfo.output_width);
    image.height = static_cast<int>(cinfo.output_height);
    image.sourceComponents = cinfo.num_components;
    try {
        image.pixels.resize(image.RowBytes() * static_cast<std::size_t>(image.height));
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "Out of memory for the JPEG picture");
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.pixels.data() + image.RowBytes() * cinfo.output_scanline;
        // Our source never suspends, so no progress means the decoder is stuck.
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            jpeg_destroy_decompress(&cinfo);
            std::snprintf(message, JMSG_LENGTH_MAX, "JPEG decoding stalled");
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, std::size_t size, RgbImage& image, std::string* error) {
    image = RgbImage();
    char message[JMSG_LENGTH_MAX] = "";
    bool decoded = false;
    if (data == nullptr || size == 0)
        std::snprintf(message, sizeof message, "No JPEG data");
    else
        decoded = DecodeInto(data, size, image, message);
    if (!decoded) {
        image = RgbImage();
        if (error) *error = message;
    }
    return decoded;
}

bool DecodeJpeg(const std::string& bytes, RgbImage& image, std::string* error) {
    return DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, error);
}

}  // namespace qvk
