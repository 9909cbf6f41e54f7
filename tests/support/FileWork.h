// One file converted as a run converts it, its work then put where a run puts it: the log lines,
// the forms a unit names, the output file.
#pragma once

#include <string>
#include <string_view>

#include "MigWizard/Replacer.h"
#include "rtl/FileIO.h"

namespace testutil {

template <class Convert>
void ConvertAndApply(migwiz::TComponentReplacer& replacer, Convert convert) {
  migwiz::TComponentReplacer::TFileWork work;
  auto apply = [&] {
    replacer.Log.WriteLines(work.Lines);
    for (const std::string& form : work.Forms) replacer.FileList.Add(form);
    if (!work.Changed) return;
    rtl::WriteFileBytes(work.OutputPath, work.Output);
    ++replacer.ChangedCount;
  };
  try {
    convert(work);
  } catch (...) {
    apply();
    throw;
  }
  apply();
}

inline void ProcessUnit(migwiz::TComponentReplacer& replacer, std::string_view text,
                        const std::string& unitPath, migwiz::TTextEncoding encoding,
                        const std::string& outputPath) {
  ConvertAndApply(replacer, [&](migwiz::TComponentReplacer::TFileWork& work) {
    replacer.ProcessUnit(text, unitPath, encoding, outputPath, work);
  });
}

inline void ProcessForm(migwiz::TComponentReplacer& replacer, std::string_view text,
                        const std::string& outputPath, migwiz::TTextEncoding encoding, bool binary,
                        const migwiz::TRCData& rcData, const std::string& formPath = {}) {
  ConvertAndApply(replacer, [&](migwiz::TComponentReplacer::TFileWork& work) {
    replacer.ProcessForm(text, outputPath, encoding, binary, rcData, formPath, work);
  });
}

}  // namespace testutil
