// PNG and JPEG documents to RGB; see image_decode.h.
//
// Both libraries report errors by calling back into us, and we leave them by
// longjmp. So every function that calls setjmp (ReadPng*, ReadJpeg*) owns no
// object with a destructor: the library state and the picture belong to the
// caller, whose frame the jump never crosses.
#include "image_decode.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
// After <cstdio>: jpeglib.h needs FILE and size_t declared.
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Where the encoded bytes come from: memory, or a file read as the library asks.
struct tagSOURCE {
  std::span<const uint8_t> bytes;
  std::FILE *file = nullptr;
};

std::string TooLarge(const char *format) {
  return std::string("The ") + format + " image is larger than " + std::to_string(kMaxImageSide) +
         " x " + std::to_string(kMaxImageSide) + " pixels.";
}

bool SizeAllowed(const char *format, uint32_t width, uint32_t height, uint64_t maxPixels,
                 std::string &error) {
  if (width == 0 || height == 0) {
    error = std::string("The ") + format + " image has no pixels.";
  } else if (width > kMaxImageSide || height > kMaxImageSide) {
    error = TooLarge(format);
  } else if (uint64_t{width} * height > maxPixels) {
    error = std::string("The ") + format + " image has more than " +
            (maxPixels % (1 << 20) == 0 ? std::to_string(maxPixels >> 20) + " Mi"
                                        : std::to_string(maxPixels)) + " pixels.";
  } else {
    return true;
  }
  return false;
}

bool Damaged(const char *format, const char *detail, std::string &error) {
  error = std::string("The ") + format + " image is damaged (" + detail + ").";
  return false;
}

uint32_t RoundPpi(double perInch) { return static_cast<uint32_t>(std::lround(perInch)); }

// ---- PNG ----

struct tagPNGREAD {
  tagSOURCE source;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<uint8_t> row;
  char message[200] = "";

  explicit tagPNGREAD(tagSOURCE from);
  ~tagPNGREAD() { png_destroy_read_struct(&png, &info, nullptr); }
  tagPNGREAD(const tagPNGREAD &) = delete;
  tagPNGREAD &operator=(const tagPNGREAD &) = delete;
};

[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
  auto &read = *static_cast<tagPNGREAD *>(png_get_error_ptr(png));
  std::snprintf(read.message, sizeof read.message, "%s", message);
  png_longjmp(png, 1);
}

void PngRead(png_structp png, png_bytep out, size_t length) {
  tagSOURCE &source = *static_cast<tagSOURCE *>(png_get_io_ptr(png));
  if (source.file != nullptr) {
    if (std::fread(out, 1, length, source.file) == length) return;
  } else if (length <= source.bytes.size()) {
    std::memcpy(out, source.bytes.data(), length);
    source.bytes = source.bytes.subspan(length);
    return;
  }
  png_error(png, "the file ends early");
}

tagPNGREAD::tagPNGREAD(tagSOURCE from) : source(from) {
  png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, PngFail,
                               [](png_structp, png_const_charp) {});
  if (png != nullptr) info = png_create_info_struct(png);
  if (info == nullptr) throw std::bad_alloc();
}

// Chunks that change nothing here are skipped unread, the compressed text
// and ICC profiles among them.
constexpr png_byte kSkippedChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";

bool ReadPngHeader(tagPNGREAD &r) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_read_fn(r.png, &r.source, PngRead);
  // The size is checked after the header, with our limits in the message.
  png_set_user_limits(r.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                              sizeof kSkippedChunks / 5);
  png_read_info(r.png, r.info);
  return true;
}

// Room for the whole picture is reserved and taken up a row at a time, so
// the pages of a picture whose data ends early are never touched.
uint8_t *NextRow(std::vector<uint8_t> &rgb, size_t bytes) {
  rgb.resize(rgb.size() + bytes);
  return rgb.data() + rgb.size() - bytes;
}

// Reads all four values first, so `rgb` may overlap `rgba` from below.
void PutOverWhite(const uint8_t *rgba, uint8_t *rgb) {
  const unsigned r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3], paper = 255 * (255 - a);
  rgb[0] = static_cast<uint8_t>((r * a + paper + 127) / 255);
  rgb[1] = static_cast<uint8_t>((g * a + paper + 127) / 255);
  rgb[2] = static_cast<uint8_t>((b * a + paper + 127) / 255);
}

void ReadPngRows(tagPNGREAD &r, tagDECODEDIMAGE &image, unsigned channels) {
  const size_t width = image.width;
  image.rgb.reserve(width * 3 * image.height);
  r.row.resize(width * channels);
  for (uint32_t y = 0; y < image.height; ++y) {
    uint8_t *out = NextRow(image.rgb, width * 3);
    png_read_row(r.png, channels == 3 ? out : r.row.data(), nullptr);
    for (size_t x = 0; channels == 4 && x < width; ++x) PutOverWhite(&r.row[4 * x], out + 3 * x);
  }
}

// An interlaced picture is complete only after its last pass: it is read
// whole, then laid over white in place (pixel i moves from byte 4i to 3i).
void ReadPngInterlaced(tagPNGREAD &r, tagDECODEDIMAGE &image, unsigned channels, int passes) {
  const size_t stride = size_t{image.width} * channels, count = size_t{image.width} * image.height;
  image.rgb.assign(stride * image.height, 0);
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t y = 0; y < image.height; ++y)
      png_read_row(r.png, image.rgb.data() + y * stride, nullptr);
  if (channels == 4) {
    for (size_t i = 0; i < count; ++i) PutOverWhite(&image.rgb[4 * i], &image.rgb[3 * i]);
    image.rgb.resize(3 * count);
  }
}

// Has libpng deliver 8-bit RGB or RGBA, whatever the file holds.
bool ReadPngPixels(tagPNGREAD &r, tagDECODEDIMAGE &image) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_expand(r.png);  // palette to RGB, gray under 8 bits to 8, tRNS to alpha
  png_set_scale_16(r.png);
  png_set_gray_to_rgb(r.png);
  const int passes = png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  const unsigned channels = png_get_channels(r.png, r.info);
  if ((channels != 3 && channels != 4) || png_get_rowbytes(r.png, r.info) != size_t{image.width} * channels)
    png_error(r.png, "unexpected pixel layout");
  if (passes > 1)
    ReadPngInterlaced(r, image, channels, passes);
  else
    ReadPngRows(r, image, channels);
  png_read_end(r.png, nullptr);
  return true;
}

uint32_t PngPpi(const tagPNGREAD &r) {
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  if (!png_get_pHYs(r.png, r.info, &x, &y, &unit) || unit != PNG_RESOLUTION_METER || x != y)
    return 0;
  return RoundPpi(x * 0.0254);
}

bool DecodePng(tagSOURCE source, uint64_t maxPixels, tagDECODEDIMAGE &image, std::string &error) {
  tagPNGREAD r(source);
  if (!ReadPngHeader(r)) return Damaged("PNG", r.message, error);
  image.width = png_get_image_width(r.png, r.info);
  image.height = png_get_image_height(r.png, r.info);
  if (!SizeAllowed("PNG", image.width, image.height, maxPixels, error)) return false;
  image.ppi = PngPpi(r);
  if (!ReadPngPixels(r, image)) return Damaged("PNG", r.message, error);
  return true;
}

// ---- JPEG ----

// libjpeg's own memory: the coefficients of a progressive picture of the
// largest size in three colours at full resolution take 384 MiB.
constexpr long kJpegMemory = 512L << 20;
// Every scan of a progressive file passes over the whole picture, so a small
// file of many empty scans could keep the decoder busy for minutes; real
// files have about ten.
constexpr int kMaxScans = 500;

struct tagJPEGREAD {
  tagSOURCE source;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = "";

  explicit tagJPEGREAD(tagSOURCE from);
  ~tagJPEGREAD() { jpeg_destroy_decompress(&cinfo); }
  tagJPEGREAD(const tagJPEGREAD &) = delete;
  tagJPEGREAD &operator=(const tagJPEGREAD &) = delete;
};

[[noreturn]] void JpegAbort(j_common_ptr cinfo, const char *why) {
  auto &r = *static_cast<tagJPEGREAD *>(cinfo->client_data);
  if (why != nullptr) {
    r.errors.msg_code = 0;
    std::snprintf(r.message, sizeof r.message, "%s", why);
  } else {
    (*cinfo->err->format_message)(cinfo, r.message);
  }
  std::longjmp(r.jump, 1);
}

// A file that ends early is an error, not a picture padded with gray; other
// warnings are ignored.
void JpegMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) JpegAbort(cinfo, nullptr);
}

void JpegProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    JpegAbort(cinfo, "too many scans");
}

tagJPEGREAD::tagJPEGREAD(tagSOURCE from) : source(from) {
  cinfo.err = jpeg_std_error(&errors);
  errors.error_exit = [](j_common_ptr c) { JpegAbort(c, nullptr); };
  errors.emit_message = JpegMessage;
  errors.output_message = [](j_common_ptr) {};
  cinfo.client_data = this;
  progress.progress_monitor = JpegProgress;
}

bool ReadJpegHeader(tagJPEGREAD &r) {
  if (setjmp(r.jump)) return false;
  jpeg_create_decompress(&r.cinfo);
  r.cinfo.mem->max_memory_to_use = kJpegMemory;
  r.cinfo.progress = &r.progress;
  if (r.source.file != nullptr)
    jpeg_stdio_src(&r.cinfo, r.source.file);
  else
    jpeg_mem_src(&r.cinfo, r.source.bytes.data(), r.source.bytes.size());
  jpeg_read_header(&r.cinfo, TRUE);
  return true;
}

bool IsCmyk(const jpeg_decompress_struct &cinfo) {
  return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

// Ink to light by a plain sum, r = 255 - min(255, c + k) and likewise g from
// m and b from y. Files with an Adobe marker hold their CMYK inverted (255 =
// no ink), as Adobe's programs write them; libjpeg passes that on, also when
// it turns YCCK into CMYK.
void InkToRgb(const uint8_t *ink, uint8_t *rgb, uint32_t width, bool inverted) {
  const auto amount = [inverted](uint8_t v) { return inverted ? 255u - v : unsigned{v}; };
  for (uint32_t x = 0; x < width; ++x, ink += 4, rgb += 3) {
    const unsigned k = amount(ink[3]);
    for (int i = 0; i < 3; ++i) rgb[i] = static_cast<uint8_t>(255 - std::min(255u, amount(ink[i]) + k));
  }
}

bool ReadJpegPixels(tagJPEGREAD &r, tagDECODEDIMAGE &image) {
  if (setjmp(r.jump)) return false;
  jpeg_decompress_struct &c = r.cinfo;
  const j_common_ptr common = reinterpret_cast<j_common_ptr>(&c);
  const bool cmyk = IsCmyk(c);
  c.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&c);
  if (c.output_width != image.width || c.output_components != (cmyk ? 4 : 3))
    JpegAbort(common, "unexpected pixel layout");
  const JSAMPARRAY ink = cmyk ? (*c.mem->alloc_sarray)(common, JPOOL_IMAGE, c.output_width * 4, 1)
                              : nullptr;
  image.rgb.reserve(size_t{image.width} * 3 * image.height);
  while (c.output_scanline < c.output_height) {
    uint8_t *out = NextRow(image.rgb, size_t{image.width} * 3);
    JSAMPROW row = cmyk ? ink[0] : out;
    if (jpeg_read_scanlines(&c, &row, 1) != 1) JpegAbort(common, "the decoder stopped");
    if (cmyk) InkToRgb(ink[0], out, image.width, c.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&c);
  return true;
}

uint32_t JpegPpi(const jpeg_decompress_struct &cinfo) {
  if (!cinfo.saw_JFIF_marker || cinfo.X_density != cinfo.Y_density) return 0;
  if (cinfo.density_unit == 1) return cinfo.X_density;
  if (cinfo.density_unit == 2) return RoundPpi(cinfo.X_density * 2.54);
  return 0;
}

// libjpeg's own size and memory refusals get sentences like ours.
bool JpegFailed(const tagJPEGREAD &r, std::string &error) {
  switch (r.errors.msg_code) {
    case JERR_IMAGE_TOO_BIG:
      error = TooLarge("JPEG");
      return false;
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
      error = "The JPEG image needs more than " + std::to_string(kJpegMemory >> 20) +
              " MiB of memory to decode.";
      return false;
    default:
      return Damaged("JPEG", r.message, error);
  }
}

bool DecodeJpeg(tagSOURCE source, uint64_t maxPixels, tagDECODEDIMAGE &image, std::string &error) {
  tagJPEGREAD r(source);
  if (!ReadJpegHeader(r)) return JpegFailed(r, error);
  image.width = r.cinfo.image_width;
  image.height = r.cinfo.image_height;
  if (!SizeAllowed("JPEG", image.width, image.height, maxPixels, error)) return false;
  const J_COLOR_SPACE space = r.cinfo.jpeg_color_space;
  if (space != JCS_GRAYSCALE && space != JCS_YCbCr && space != JCS_RGB && !IsCmyk(r.cinfo)) {
    error = "The JPEG image's colours are neither gray, RGB nor CMYK.";
    return false;
  }
  image.ppi = JpegPpi(r.cinfo);
  if (!ReadJpegPixels(r, image)) return JpegFailed(r, error);
  return true;
}

// ---- Either ----

bool StartsWith(std::span<const uint8_t> head, std::initializer_list<uint8_t> magic) {
  return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

// `head` is the start of the data, enough to tell the formats apart.
bool Decode(tagSOURCE source, std::span<const uint8_t> head, uint64_t maxPixels,
            tagDECODEDIMAGE &image, std::string &error) {
  image = {};
  error.clear();
  bool decoded = false;
  try {
    if (head.empty())
      error = "The document is empty.";
    else if (StartsWith(head, {0x89, 'P', 'N', 'G'}))
      decoded = DecodePng(source, maxPixels, image, error);
    else if (StartsWith(head, {0xFF, 0xD8}))
      decoded = DecodeJpeg(source, maxPixels, image, error);
    else
      error = "The document is neither a PNG nor a JPEG image.";
  } catch (const std::bad_alloc &) {
    error = "There is not enough memory to decode the image.";
  }
  if (!decoded) image = {};
  return decoded;
}

struct FileCloser {
  void operator()(std::FILE *file) const { std::fclose(file); }
};

}  // namespace

bool DecodeImage(std::span<const uint8_t> bytes, tagDECODEDIMAGE &image, std::string &error) {
  return DecodeImage(bytes, image, error, kMaxImagePixels);
}

bool DecodeImage(std::span<const uint8_t> bytes, tagDECODEDIMAGE &image, std::string &error,
                 uint64_t maxPixels) {
  const auto head = bytes.first(std::min<size_t>(bytes.size(), 4));
  return Decode({bytes, nullptr}, head, std::min(maxPixels, kMaxImagePixels), image, error);
}

bool DecodeImageFile(const char *path, tagDECODEDIMAGE &image, std::string &error) {
  image = {};
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  uint8_t head[4];
  const size_t got = file ? std::fread(head, 1, sizeof head, file.get()) : 0;
  if (!file || std::ferror(file.get()) || std::fseek(file.get(), 0, SEEK_SET) != 0) {
    error = std::string("The document cannot be read (") + std::strerror(errno) + ").";
    return false;
  }
  return Decode({{}, file.get()}, {head, got}, kMaxImagePixels, image, error);
}
