// Request checks; see request_checks.h.
#include "request_checks.h"

#include <algorithm>
#include <array>

#include "vendor_options.h"

namespace {

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

bool IsTextTag(ipp_tag_t tag) {
  return tag == IPP_TAG_TEXT || tag == IPP_TAG_NAME || tag == IPP_TAG_TEXTLANG ||
         tag == IPP_TAG_NAMELANG;
}

bool IsStringTag(ipp_tag_t tag) {
  return IsTextTag(tag) || tag == IPP_TAG_KEYWORD || tag == IPP_TAG_URI ||
         tag == IPP_TAG_URISCHEME || tag == IPP_TAG_CHARSET || tag == IPP_TAG_LANGUAGE ||
         tag == IPP_TAG_MIMETYPE || tag == IPP_TAG_MEMBERNAME;
}

tagREFUSAL Refuse(ipp_status_t status, std::string message, ipp_attribute_t *attribute) {
  return {status, std::move(message), attribute};
}

tagREFUSAL CleanStrings(ipp_t *message, ipp_attribute_t *top) {
  for (ipp_attribute_t *attr = ippFirstAttribute(message); attr; attr = ippNextAttribute(message)) {
    ipp_attribute_t *named = top ? top : attr;
    const ipp_tag_t tag = ippGetValueTag(attr);
    const int count = ippGetCount(attr);
    for (int i = 0; i < count; ++i) {
      if (tag == IPP_TAG_BEGIN_COLLECTION) {
        tagREFUSAL inner = CleanStrings(ippGetCollection(attr, i), named);
        if (inner.status != IPP_STATUS_OK) return inner;
        continue;
      }
      if (!IsStringTag(tag)) continue;
      const char *value = ippGetString(attr, i, nullptr);
      if (!value || !HasControls(value)) continue;
      if (!IsTextTag(tag)) {
        const char *name = ippGetName(named);
        return Refuse(IPP_STATUS_ERROR_BAD_REQUEST,
                      std::string("Control characters in ") + (name ? name : "a value") + ".",
                      named);
      }
      ippSetString(message, &attr, i, WithoutControls(value).c_str());
    }
  }
  return {};
}

// The one value of a KT50 setting as the text PAPPL hands to the driver.
bool ValueText(ipp_attribute_t *attr, std::string &text) {
  if (ippGetCount(attr) != 1) return false;
  std::array<char, 256> buffer{};
  if (ippAttributeString(attr, buffer.data(), buffer.size()) >= buffer.size() - 1) return false;
  text = buffer.data();
  return true;
}

tagREFUSAL CheckOne(ipp_attribute_t *attr, const tagVENDOROPTION &option) {
  std::string text;
  if (ValueText(attr, text) && ParseVendorValue(option, text)) return {};
  return Refuse(IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES,
                std::string("Unsupported ") + ippGetName(attr) + " value '" +
                    WithoutControls(text.substr(0, 64)) + "'.",
                attr);
}

}  // namespace

bool HasControls(std::string_view text) { return std::any_of(text.begin(), text.end(), IsControl); }

std::string WithoutControls(std::string_view text) {
  std::string clean(text);
  std::replace_if(clean.begin(), clean.end(), IsControl, ' ');
  return clean;
}

tagREFUSAL CleanRequestStrings(ipp_t *request) { return CleanStrings(request, nullptr); }

tagREFUSAL CheckVendorValues(ipp_t *request) {
  const ipp_op_t op = ippGetOperation(request);
  const bool job = op == IPP_OP_PRINT_JOB || op == IPP_OP_VALIDATE_JOB || op == IPP_OP_CREATE_JOB;
  const bool defaults = op == IPP_OP_SET_PRINTER_ATTRIBUTES;
  if (!job && !defaults) return {};
  for (ipp_attribute_t *attr = ippFirstAttribute(request); attr; attr = ippNextAttribute(request)) {
    const char *name = ippGetName(attr);
    if (!name) continue;
    std::string_view option = name;
    if (defaults) {
      if (!option.ends_with("-default")) continue;
      option.remove_suffix(8);
    }
    if (const tagVENDOROPTION *vendor = FindVendorOption(option)) {
      tagREFUSAL refusal = CheckOne(attr, *vendor);
      if (refusal.status != IPP_STATUS_OK) return refusal;
    }
  }
  return {};
}
