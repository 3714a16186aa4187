#!/usr/bin/env bash
# Plants small faults in the source one at a time and runs the tests against
# each: a fault that no test notices is a hole in the tests. Not part of CI
# (each fault costs a rebuild and a test run: some 40-60 minutes in all).
#
#   bash scripts/plant-faults.sh [NAME-PATTERN]
#
# Builds in build/faults (the dev preset's settings); the source tree is put
# back after each fault, also when the script is interrupted. Exits 1 when a
# fault survived or could not be planted.
set -euo pipefail
cd "$(dirname "$0")/.."

only=${1:-}
build=build/faults

# name | file | Perl substitution (run with -0, so it may span lines)
faults=(
  "check byte seed|src/link/codec.cpp|s/check = 0xAA;/check = 0x00;/"
  "block number high part|src/link/codec.cpp|s/\(blockNumber >> 7\)/(blockNumber >> 8)/"
  "nibble validation|src/link/codec.cpp|s/\(high & 0xF0U\) != 0x40/(high \& 0xE0U) != 0x40/"
  "CRC byte order|src/link/codec.cpp|s/plain\[kBlockSize\] = (.*?);\n(\s*)plain\[kBlockSize \+ 1\] = (.*?);/plain[kBlockSize] = \3;\n\2plain[kBlockSize + 1] = \1;/"
  "write pacing|src/link/serial_channel.cpp|s/length \* 12U \/ 10U/length * 11U \/ 10U/"
  "purge after write|src/link/serial_channel.cpp|s/\n\s*port->PurgeInput\(\);//"
  "chunk size|src/link/serial_channel.cpp|s/kMaxChunkBytes = 16/kMaxChunkBytes = 17/"
  "byte interval|src/link/port_backend.h|s/kByteIntervalMs = 5/kByteIntervalMs = 9/"
  "chunk total time|src/link/port_backend.h|s/kChunkTotalMs = 30/kChunkTotalMs = 45/"
  "one attempt|src/link/bootloader.cpp|s/kAttempts = 2/kAttempts = 1/"
  "retry after success|src/link/bootloader.cpp|s/if \(result == LINK_OK\) \{\s*break;\s*\}//"
  "status 5A and 2A swapped|src/link/bootloader.cpp|s/return LINK_WRITE_STATUS_5A;/return LINK_WRITE_STATUS_2A;/"
  "version header unchecked|src/link/command_table.h|s/(CMD_GET_VERSION, RequestArgs::None, true, 500, 16, 9, )5/\${1}0/"
  "erase header unchecked|src/link/command_table.h|s/(CMD_ERASE, RequestArgs::None, true, 500, 10, 7, )5/\${1}0/"
  "write pre-delay|src/link/command_table.h|s/(RequestArgs::BlockNumberAndData, true, )40/\${1}30/"
  "erase status ignored|src/link/bootloader.cpp|s/ && reply\[5\] == kEraseDone//"
  "bar range before position|src/job/transfer_worker.cpp|s/(\s*)(context\.view->SetBarPosition\(context\.blockCounter\);)(\s*)(context\.view->SetBarRange\([^;]*;)/\1\4\3\2/"
  "no cancel after a block|src/job/transfer_worker.cpp|s/bool StepProgress\(TransferContext& context\) \{\s*if \(context\.abortRequested\)/bool StepProgress(TransferContext\& context) {\n    if (false)/"
  "no return to working mode|src/job/transfer_worker.cpp|s/if \(\(outcome_\.programmingEntered \|\| channel_\.ReceivedSinceOpen\(\) > 0\) && !channel_\.PortVanished\(\)\) \{/if (false) {/"
  "no return after a garbled answer|src/job/transfer_worker.cpp|s/outcome_\.programmingEntered \|\| channel_\.ReceivedSinceOpen\(\) > 0/outcome_.programmingEntered/"
  "vanished port ignored|src/link/serial_channel.cpp|s/return port_ != nullptr && !port_->Vanished\(\) \? port_\.get\(\) : nullptr;/return port_.get();/"
  "no cancel in the enter loop|src/job/transfer_worker.cpp|s/while \(true\) \{\n(\s*)if \(context_\.abortRequested\)/while (true) {\n\1if (false)/"
  "no cancel before the erase|src/job/transfer_worker.cpp|s/if \(context_\.abortRequested\) return Fail\(FailureKind::Cancelled\);\n(\s*)if \(context_\.mode == TransferMode::Write\)/if (context_.mode == TransferMode::Write)/"
  "the last block cancellable|src/job/transfer_worker.cpp|s/if \(block \+ 1 == kBlockCount\)/if (false)/"
  "damaged reply told as none|src/job/transfer_worker.cpp|s/channel_\.LastReadCount\(\) == 0\) return Fail/channel_.LastReadCount() < 100) return Fail/"
  "find asks fewer times|src/job/device_finder.h|s/kFindEnterTries = 3/kFindEnterTries = 2/"
  "image length check|src/image/image_file.cpp|s/\*size != kImageSize/*size < kImageSize/"
  "temporary file left behind|src/image/image_file.cpp|s/\n\s*fs::remove\(temporary, ignored\);//"
  "save replaces a symbolic link|src/image/image_file.cpp|s/!fs::is_symlink\(fs::symlink_status\(at, error\)\)/true/"
  "leftovers of killed saves stay|src/image/image_file.cpp|s/\n\s*RemoveStaleTemporaries\(folder\);//"
  "file name as UTF-8 text|src/cli/cli_options.cpp|s/return given != args.end\(\) \? \*given : /return /"
  "recent list keeps duplicates|src/image/recent_file_list.cpp|s/!slot\.empty\(\) && SameFile\(slot, entry\)/false/"
  "override port range|src/image/profile_store.cpp|s/\*number > kHighestPort/*number > kHighestPort + 1/"
  "verify switch not stored|src/app/main_dlg.cpp|s/\n\s*m_store\.WriteInt\(kSectionSettings, kValueVerifyAfterWrite, settings\.m_bVerifyAfterWrite\);//"
  "verify switch not read|src/app/main_dlg.cpp|s/m_store\.GetInt\(kSectionSettings, kValueVerifyAfterWrite, 0\) != 0/false/"
  "cancelled write untold|src/app/main_dlg.cpp|s/else if \(last\.outcome\.failure->programTouched\)/else if (false)/"
  "error without its cause|src/app/app_texts.cpp|s/if \(!line\.isEmpty\(\)\) lines <</if (false) lines <</"
  "percentage left in the title|src/app/main_dlg.cpp|s/\n\s*setWindowTitle\(texts::MainCaption\(\)\);(\s*ClearTaskbarProgress)/\1/"
  "absent port lost on OK|src/app/settings_dlg.cpp|s/if \(!selected && portToSelect >= kLowestPortNumber/if (false \&\& portToSelect >= kLowestPortNumber/"
  "binding not stored|src/app/main_dlg.cpp|s/\n\s*if \(settings\.m_portBinding\) WritePortOverride\([^;]*;//"
  "search left running on close|src/app/settings_dlg.cpp|s/(void CSettingsDlg::done\(int result\) \{)\s*StopSearch\(\);/\1/"
  "loaded file not in the box|src/app/main_dlg.cpp|s/(if \(outcome\.done\(\)\) \{)\s*FillFileNameBox\(\);/\1/"
  "recent files not saved|src/app/main_dlg.cpp|s/CMainDlg::~CMainDlg\(\) \{ m_files\.WriteRecentFiles\(\); \}/CMainDlg::~CMainDlg() {}/"
  "no other place after a failed save|src/app/main_dlg.cpp|s/(texts::ChooseAnotherPlace\(\), MessageIcon::Exclamation\);)/\1\n        return;/"
  "bar percentage rounded|src/controls/progress_bar_math.cpp|s/std::trunc\(/std::round(/"
  "bar repaint deferred|src/controls/labeled_progress_ctrl.cpp|s/m_nFilledPixels = filled;\s*repaint\(\);/m_nFilledPixels = filled;\n        update();/"
  "journal start not in local time|src/app/journal_dlg.cpp|s/started\.toLocalTime\(\)\.toString/started.toUTC().toString/"
  "unreadable journal start sorted first|src/app/journal_dlg.cpp|s/return leftKnown == \(sortOrder\(\) == Qt::AscendingOrder\);/return !leftKnown;/"
  "window off the screen|src/app/window_placement.cpp|s/return wanted\.boundedTo\(room\);/return wanted;/"
  "closed port list not widened|src/app/settings_dlg.cpp|s/\n\s*FitPortBox\(\);//"
  "notice while in front|src/app/job_end_alert.cpp|s/if \(window != nullptr && g_focusElsewhere\)/if (window != nullptr)/"
  "path broken in a box|src/app/message_box.cpp|s/\n\s*KeepPathsWhole\(box, \*grid, text\);//"
  "file sizes in binary units|src/app/file_choosers.cpp|s/QLocale::DataSizeTraditionalFormat/QLocale::DataSizeIecFormat/"
  "file types in English|src/app/qt_translations.cpp|s/\n\s*QCoreApplication::installTranslator\(new FileTypeNames[^;]*;//"
  "journal header every time|src/journal/journal.cpp|s/\(file\.size\(\) == 0 \? header : QByteArray\(\)\)/header/"
  "journal lock dropped|src/journal/journal.cpp|s/if \(!lock\.tryLock\(kLockWaitMs\)\)/if (false)/"
  "damaged journal overwritten|src/journal/journal.cpp|s/!QFile::rename\(path, aside\)/!QFile::remove(path)/"
  "image hash of another kind|src/journal/journal.cpp|s/QCryptographicHash::Sha256/QCryptographicHash::Sha224/"
  "journal place follows the program's names|src/journal/journal.cpp|s/if \(!names\.isEmpty\(\) && folder\.endsWith\(own\)\) folder\.chop\(own\.size\(\)\);//"
  "old journal moved twice|src/journal/journal.cpp|s/if \(!QFile::rename\(oldPath, aside\)\) return leftAlone;/QFile::copy(oldPath, aside);/"
  "cable rule at four jobs|src/report/job_report.cpp|s/if \(jobs < kCableJobs \|\| /if (/"
  "cable warning every time|src/report/job_report.cpp|s/return warned_\.insert\(name\)\.second;/warned_.insert(name);\n    return true;/"
  "time left of one step|src/report/job_estimate.cpp|s/ \+ \(steps_ - 1 - step_\) \* kBlocks//"
  "share of one step|src/report/job_estimate.cpp|s/std::max\(step_, 0\) \* kBlocks \+ //"
  "settings FIFO read|src/settings/qsettings_profile_store.cpp|s/\(!file\.isFile\(\) \|\|/(file.isSymLink() ||/"
  "a held port opened|src/link/serial_posix.cpp|s/holders && !holders->empty\(\)/false/"
  "the line's far end taken for a holder|src/link/port_checks_linux.cpp|s/return index == ptyNumber;/return false;/"
  "interrupted reply told as damaged|src/job/transfer_worker.cpp|s/if \(channel_\.ReplyInterrupted\(\)\) return Fail/if (false) return Fail/"
  "station ports not refreshed|src/app/station_dlg.cpp|s/for \(auto& slot : m_slots\) slot->FillPorts\(ports\);/(void)ports;/"
)

restore=""
cleanup() {
  if [[ -n $restore ]]; then
    mv -f "$restore.fault-orig" "$restore"
    touch "$restore"  # newer than the objects built with the fault
  fi
}
trap cleanup EXIT INT TERM

run_tests() {
  ctest --test-dir "$build" -j2 --timeout 120 --stop-on-failure --no-tests=error >"$build/fault-ctest.log" 2>&1
}

echo "== baseline"
cmake --preset dev -B "$build" >/dev/null
cmake --build "$build" >/dev/null
run_tests || { echo "plant-faults: the tests fail without any fault ($build/fault-ctest.log)" >&2; exit 2; }

survived=() broken=()
for fault in "${faults[@]}"; do
  IFS='|' read -r name file expr <<<"$fault"
  [[ -z $only || $name == *$only* ]] || continue
  cp "$file" "$file.fault-orig"
  restore=$file
  perl -0pi -e "$expr" "$file"
  if cmp -s "$file" "$file.fault-orig"; then
    echo "NOT PLANTED  $name: the pattern no longer matches $file"
    broken+=("$name")
  elif ! cmake --build "$build" >"$build/fault-build.log" 2>&1; then
    echo "NOT PLANTED  $name: does not build ($build/fault-build.log)"
    broken+=("$name")
  elif run_tests; then
    echo "SURVIVED     $name ($file)"
    survived+=("$name")
  else
    failed=$(grep -m1 -oE '[0-9]+ - [^ ]+ \((Failed|Timeout|SEGFAULT|Subprocess aborted|Child aborted)' \
             "$build/fault-ctest.log" || echo "a test")
    echo "caught       $name: $failed"
  fi
  cleanup
  restore=""
done
# Leave the build matching the source again.
cmake --build "$build" >/dev/null

echo "== ${#survived[@]} survived, ${#broken[@]} not planted"
((${#survived[@]} == 0 && ${#broken[@]} == 0))
