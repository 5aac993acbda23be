// JPEG through libjpeg-turbo, from memory. The library's fatal errors long-jump back here instead
// of ending the process, and a premature end of data, which the library only warns about and
// pads with grey, is an error too.
#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "studio/image/image_decoder.h"
#include "studio/image/picture_canvas.h"

namespace kestrel {
namespace {

constexpr long kMaxJpegWorkingMemory = 1L << 30;

struct ErrorManager {
  jpeg_error_mgr Public;  // first, so that the library's pointer is also ours
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX] = {};
  bool DataEndedEarly = false;
};

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  errors->Public.format_message(cinfo, errors->Message);
  std::longjmp(errors->Jump, 1);
}

// Level -1 is a warning about damaged data; traces (level > 0) are dropped. Nothing is printed.
void OnMessage(j_common_ptr cinfo, int level) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (level != -1) return;
  const int code = errors->Public.msg_code;
  if ((code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) && !errors->DataEndedEarly) {
    errors->DataEndedEarly = true;
    errors->Public.format_message(cinfo, errors->Message);
  }
}

// Adobe's CMYK files store the inks inverted, which is what libjpeg's own CMYK writer marks too.
image_detail::Rgba FromCmyk(const uint8_t* p, bool inverted) {
  auto channel = [&](uint8_t ink, uint8_t black) {
    const unsigned i = inverted ? ink : 255u - ink;
    const unsigned k = inverted ? black : 255u - black;
    return static_cast<uint8_t>((i * k + 127) / 255);
  };
  return image_detail::Rgba{channel(p[0], p[3]), channel(p[1], p[3]), channel(p[2], p[3]), 255};
}

// Everything the decoding touches lives here, outside the function that calls setjmp, so that the
// long jump from the library crosses no C++ object that would need its destructor.
struct JpegDecoding {
  jpeg_decompress_struct Info{};
  ErrorManager Errors;
  RgbaImage Image;
  std::vector<uint8_t> Row;
  std::string Failure;

  JpegDecoding() {
    Info.err = jpeg_std_error(&Errors.Public);
    Errors.Public.error_exit = OnFatalError;
    Errors.Public.emit_message = OnMessage;
  }
  ~JpegDecoding() { jpeg_destroy_decompress(&Info); }  // safe also when creation never ran
  JpegDecoding(const JpegDecoding&) = delete;
  JpegDecoding& operator=(const JpegDecoding&) = delete;
};

bool CheckedSides(JpegDecoding& d) {
  const jpeg_decompress_struct& info = d.Info;
  try {
    image_detail::CheckSides("JPEG", info.image_width, info.image_height);
  } catch (const ImageDecodeError& e) {
    d.Failure = e.what();
    return false;
  }
  return true;
}

void CopyRow(JpegDecoding& d, uint32_t y) {
  const uint32_t width = d.Info.output_width;
  uint8_t* out = &d.Image.Pixels[static_cast<size_t>(y) * width * 4];
  if (d.Info.out_color_space != JCS_CMYK) {
    std::copy(d.Row.begin(), d.Row.end(), out);
    return;
  }
  for (uint32_t x = 0; x < width; ++x) {
    const image_detail::Rgba c = FromCmyk(d.Row.data() + static_cast<size_t>(x) * 4, d.Info.saw_Adobe_marker);
    out[x * 4] = c.R;
    out[x * 4 + 1] = c.G;
    out[x * 4 + 2] = c.B;
  }
}

bool RunDecoding(JpegDecoding& d, const uint8_t* data, size_t size) {
  if (setjmp(d.Errors.Jump)) {
    d.Failure = std::string("JPEG: ") + d.Errors.Message;
    return false;
  }
  jpeg_create_decompress(&d.Info);
  // A few bytes of progressive data can ask for coefficient buffers of gigabytes; beyond this the
  // library refuses instead of reserving them.
  d.Info.mem->max_memory_to_use = kMaxJpegWorkingMemory;
  if (size == 0) ERREXIT(&d.Info, JERR_INPUT_EMPTY);
  jpeg_mem_src(&d.Info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d.Info, TRUE);
  if (!CheckedSides(d)) return false;
  const bool cmyk = d.Info.jpeg_color_space == JCS_CMYK || d.Info.jpeg_color_space == JCS_YCCK;
  d.Info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_start_decompress(&d.Info);
  // A progressive file is read whole here: data that ended early is known before the picture is
  // reserved.
  if (d.Errors.DataEndedEarly) {
    d.Failure = std::string("JPEG: ") + d.Errors.Message;
    return false;
  }

  d.Image = image_detail::NewPicture(d.Info.output_width, d.Info.output_height, false);
  d.Row.resize(static_cast<size_t>(d.Info.output_width) * 4);
  while (d.Info.output_scanline < d.Info.output_height && !d.Errors.DataEndedEarly) {
    const uint32_t y = d.Info.output_scanline;
    JSAMPROW rows[1] = {d.Row.data()};
    if (jpeg_read_scanlines(&d.Info, rows, 1) != 1) break;
    CopyRow(d, y);
  }
  if (!d.Errors.DataEndedEarly) jpeg_finish_decompress(&d.Info);
  if (d.Errors.DataEndedEarly) {
    d.Failure = std::string("JPEG: ") + d.Errors.Message;
    return false;
  }
  return true;
}

}  // namespace

RgbaImage DecodeJpeg(const uint8_t* data, size_t size) {
  JpegDecoding decoding;
  if (!RunDecoding(decoding, data, size)) throw ImageDecodeError(decoding.Failure);
  return std::move(decoding.Image);
}

}  // namespace kestrel
