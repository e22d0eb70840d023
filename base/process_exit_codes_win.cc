#include "base/process_exit_codes.h"

#include "base/histogram.h"
#include "base/logging.h"
#include "base/singleton.h"

namespace base {
namespace {

const DWORD kNonCrashExitCodes[] = {
    0,          1, 2,
    0xC0000354,  // An end that is not a crash.
    0xC000013A,  // A console control exit.
    0x40010004,  // Ended by a debugger.
};

// The three exit-code histograms, made on first use and destroyed at exit.
struct ExitCodeHistograms {
  LinearHistogram least_significant{"ExitCodes.LSNibbles", 1, 4095, 4096};
  LinearHistogram most_significant{"ExitCodes.MSNibbles", 1, 4095, 4096};
  LinearHistogram middle{"ExitCodes.MidNibbles", 1, 255, 256};
};

void AddMarked(LinearHistogram& histogram, int sample) {
  histogram.SetFlags(Histogram::kMarkedHistogramFlag |
                     Histogram::kHexBoundsFlag);
  histogram.Add(sample);
}

}  // namespace

bool ProcessEndedAbnormally(ProcessHandle process) {
  DWORD exitcode = 0;
  if (!GetExitCodeProcess(process, &exitcode)) {
    NOTREACHED();
    return false;
  }
  if (exitcode == STILL_ACTIVE) {
    LOG(ERROR) << "A process is still running, or ended with the exit code "
                  "that means running (259)";
    return false;
  }
  for (const DWORD code : kNonCrashExitCodes) {
    if (exitcode == code)
      return false;
  }
  ExitCodeHistograms* histograms = Singleton<ExitCodeHistograms>::get();
  AddMarked(histograms->least_significant, static_cast<int>(exitcode & 0xFFF));
  AddMarked(histograms->most_significant, static_cast<int>(exitcode >> 20));
  AddMarked(histograms->middle, static_cast<int>((exitcode >> 12) & 0xFF));
  return true;
}

}  // namespace base
