// Whether our form reader takes a text form: what the conversion's oracle holds a rebuilt form to,
// in the fuzz target and in the replay of its findings.
#pragma once

#include <string_view>

#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"

namespace testutil {

inline bool FormTextAccepted(std::string_view text) {
  rtl::TMemoryStream binary;
  try {
    rtl::ObjectTextToBinary(text, binary);
  } catch (const rtl::EFormStreamError&) {
    return false;
  }
  return true;
}

}  // namespace testutil
