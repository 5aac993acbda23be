// A picture written as a JPEG file like an entry: libjpeg-turbo at the quality the entry's
// quantisation tables show, with its colour space, chroma subsampling and progressive form.
#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "studio/image/picture_encoding.h"
#include "studio/image/picture_import.h"

namespace kestrel {
namespace {

struct ErrorManager {
  jpeg_error_mgr Public;  // first, so that the library's pointer is also ours
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  errors->Public.format_message(cinfo, errors->Message);
  std::longjmp(errors->Jump, 1);
}

void OnMessage(j_common_ptr, int) {}

constexpr int kCoefficients = DCTSIZE2;

// What the entry's header says, read before anything is written.
struct EntryLayout {
  J_COLOR_SPACE ColourSpace = JCS_YCbCr;
  bool Progressive = false;
  int Components = 0;
  int Sampling[MAX_COMPONENTS][2] = {};
  // The tables in slots 0 and 1 (luminance and chrominance where the file has them), natural order.
  std::vector<unsigned> Tables[2];
};

// The decompressor and compressor live outside the functions that call setjmp, so that the long
// jump from the library crosses no C++ object that would need its destructor.
struct HeaderReading {
  jpeg_decompress_struct Info{};
  ErrorManager Errors;
  HeaderReading() {
    Info.err = jpeg_std_error(&Errors.Public);
    Errors.Public.error_exit = OnFatalError;
    Errors.Public.emit_message = OnMessage;
  }
  ~HeaderReading() { jpeg_destroy_decompress(&Info); }
};

bool ReadLayout(HeaderReading& d, EntryLayout& layout, const uint8_t* data, size_t size) {
  if (setjmp(d.Errors.Jump)) return false;
  jpeg_create_decompress(&d.Info);
  if (size == 0) ERREXIT(&d.Info, JERR_INPUT_EMPTY);
  jpeg_mem_src(&d.Info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d.Info, TRUE);
  layout.ColourSpace = d.Info.jpeg_color_space;
  layout.Progressive = d.Info.progressive_mode;
  layout.Components = d.Info.num_components;
  for (int c = 0; c < d.Info.num_components && c < MAX_COMPONENTS; ++c) {
    layout.Sampling[c][0] = d.Info.comp_info[c].h_samp_factor;
    layout.Sampling[c][1] = d.Info.comp_info[c].v_samp_factor;
  }
  for (int slot = 0; slot < 2; ++slot)
    if (const JQUANT_TBL* table = d.Info.quant_tbl_ptrs[slot])
      for (int i = 0; i < kCoefficients; ++i) layout.Tables[slot].push_back(table->quantval[i]);
  return true;
}

EntryLayout LayoutOf(const uint8_t* data, size_t size) {
  HeaderReading reading;
  EntryLayout layout;
  if (!ReadLayout(reading, layout, data, size)) throw ImageDecodeError(std::string("JPEG: ") + reading.Errors.Message);
  return layout;
}

// The standard tables scaled to `quality`, as libjpeg makes them; without the baseline limit of
// 255 when the file holds larger values.
void StandardTables(int quality, bool baseline, std::vector<unsigned> (&tables)[2]) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  info.in_color_space = JCS_RGB;
  info.input_components = 3;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, baseline ? TRUE : FALSE);
  for (int t = 0; t < 2; ++t) {
    tables[t].clear();
    for (int i = 0; i < kCoefficients; ++i) tables[t].push_back(info.quant_tbl_ptrs[t]->quantval[i]);
  }
  jpeg_destroy_compress(&info);
}

// Within one step of each standard value: other writers round the scaling slightly otherwise.
std::optional<int> QualityOfTables(const EntryLayout& layout) {
  if (layout.Tables[0].size() != kCoefficients) return std::nullopt;
  bool baseline = true;
  for (const auto& table : layout.Tables)
    for (unsigned v : table) baseline = baseline && v <= 255;
  std::optional<int> best;
  unsigned bestDistance = 0;
  for (int quality = 1; quality <= 100; ++quality) {
    std::vector<unsigned> standard[2];
    StandardTables(quality, baseline, standard);
    unsigned distance = 0, worst = 0;
    for (int t = 0; t < 2; ++t)
      for (size_t i = 0; i < layout.Tables[t].size(); ++i) {
        const unsigned d = layout.Tables[t][i] > standard[t][i] ? layout.Tables[t][i] - standard[t][i]
                                                               : standard[t][i] - layout.Tables[t][i];
        distance += d;
        worst = std::max(worst, d);
      }
    if (worst <= 1 && (!best || distance < bestDistance)) {
      best = quality;
      bestDistance = distance;
    }
  }
  return best;
}

struct Compression {
  jpeg_compress_struct Info{};
  ErrorManager Errors;
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  std::vector<uint8_t> Row;
  Compression() {
    Info.err = jpeg_std_error(&Errors.Public);
    Errors.Public.error_exit = OnFatalError;
    Errors.Public.emit_message = OnMessage;
  }
  ~Compression() {
    jpeg_destroy_compress(&Info);
    std::free(Buffer);
  }
};

bool Compress(Compression& c, const EntryLayout& layout, int quality, const RgbaImage& picture) {
  if (setjmp(c.Errors.Jump)) return false;
  jpeg_create_compress(&c.Info);
  jpeg_mem_dest(&c.Info, &c.Buffer, &c.Size);
  c.Info.image_width = picture.Width;
  c.Info.image_height = picture.Height;
  const bool grey = layout.ColourSpace == JCS_GRAYSCALE;
  const bool cmyk = layout.ColourSpace == JCS_CMYK || layout.ColourSpace == JCS_YCCK;
  c.Info.input_components = grey ? 1 : cmyk ? 4 : 3;
  c.Info.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c.Info);
  if (cmyk) jpeg_set_colorspace(&c.Info, layout.ColourSpace);
  jpeg_set_quality(&c.Info, quality, TRUE);
  for (int i = 0; i < c.Info.num_components && i < layout.Components; ++i) {
    c.Info.comp_info[i].h_samp_factor = layout.Sampling[i][0];
    c.Info.comp_info[i].v_samp_factor = layout.Sampling[i][1];
  }
  if (layout.Progressive) jpeg_simple_progression(&c.Info);
  jpeg_start_compress(&c.Info, TRUE);
  c.Row.resize(static_cast<size_t>(picture.Width) * c.Info.input_components);
  while (c.Info.next_scanline < c.Info.image_height) {
    const uint8_t* in = &picture.Pixels[static_cast<size_t>(c.Info.next_scanline) * picture.Width * 4];
    for (size_t x = 0, o = 0; x < picture.Width; ++x, in += 4) {
      if (grey) {
        c.Row[o++] = image_detail::GreyOf(in);
      } else {
        // CMYK entries store the inks inverted, as the decoder reads them: no ink is 255.
        c.Row[o++] = in[0];
        c.Row[o++] = in[1];
        c.Row[o++] = in[2];
        if (cmyk) c.Row[o++] = 255;
      }
    }
    JSAMPROW rows[1] = {c.Row.data()};
    jpeg_write_scanlines(&c.Info, rows, 1);
  }
  jpeg_finish_compress(&c.Info);
  return true;
}

}  // namespace

std::optional<int> EstimateJpegQuality(const uint8_t* data, size_t size) { return QualityOfTables(LayoutOf(data, size)); }

namespace image_detail {

std::vector<uint8_t> EncodeJpegLike(const std::vector<uint8_t>& entry, const RgbaImage& picture, Warnings& warnings) {
  const EntryLayout layout = LayoutOf(entry.data(), entry.size());
  const std::optional<int> quality = QualityOfTables(layout);
  if (!quality)
    warnings.push_back("the entry's quantisation tables are not standard ones; written at quality " +
                       std::to_string(kDefaultJpegQuality));
  if (layout.ColourSpace == JCS_GRAYSCALE && !IsGrey(picture))
    warnings.push_back("the picture's colours become grey, as the entry is a grey JPEG");
  Compression c;
  if (!Compress(c, layout, quality.value_or(kDefaultJpegQuality), picture))
    throw std::runtime_error(std::string("JPEG: ") + c.Errors.Message);
  return std::vector<uint8_t>(c.Buffer, c.Buffer + c.Size);
}

}  // namespace image_detail
}  // namespace kestrel
