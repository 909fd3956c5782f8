#include "import/TaxiImport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "archive/PrintoutIndex.h"
#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "import/TPrintoutsBrowser.h"
#include "links/LumoTaxiCommunication.h"

namespace quorvel {

namespace {

namespace fs = std::filesystem;

void Report(TPrintoutsBrowser& browser, std::string_view message) {
  if (browser.OnProgress) browser.OnProgress(browser, "", message, -1);
}

// A folder beside the device directory that holds a reading until it is complete; it is gone
// again when the import ends, whichever way.
class TStagingFolder {
 public:
  explicit TStagingFolder(const fs::path& deviceDir)
      : path_(deviceDir.parent_path() / ("." + deviceDir.filename().string() + ".taxi-new")) {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ~TStagingFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// Writes one file of the staging folder; it is flushed to the disc with all the others at once.
void WriteStagedFile(const fs::path& file, std::string_view bytes) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw EFileError(FileErrorMessage("Nie można utworzyć pliku"_cp, file, errno));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      ::close(fd);
      throw EFileError(FileErrorMessage("Nie można zapisać pliku"_cp, file, err));
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) throw EFileError(FileErrorMessage("Nie można zapisać pliku"_cp, file, errno));
}

// Flushes the file system that holds `dir` (all staged files in one call, not one per file).
void SyncFolder(const fs::path& dir, bool wholeFileSystem) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EFileError(FileErrorMessage("Nie można otworzyć katalogu"_cp, dir, errno));
  const int rc = wholeFileSystem ? ::syncfs(fd) : ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (rc != 0) throw EFileError(FileErrorMessage("Nie można zapisać katalogu"_cp, dir, err));
}

// Puts the records of a finished reading in place of the directory's record files of the same
// positions. Files beyond them, left by an earlier and longer reading, are kept: an archive never
// loses fiscal data it once held. The new files are complete on the disc before the first old
// one is replaced.
void CommitRecords(const fs::path& deviceDir, const std::vector<RFMRecord>& records) {
  TStagingFolder staging(deviceDir);
  std::error_code ec;
  fs::create_directories(staging.Path(), ec);
  if (ec) throw EFileError(FileErrorMessage("Nie można utworzyć katalogu"_cp, staging.Path(), ec.value()));
  for (std::size_t i = 0; i < records.size(); ++i)
    WriteStagedFile(staging.Path() / RecordFileName(static_cast<int>(i + 1)), EncodeRecord(records[i]));
  SyncFolder(staging.Path(), true);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::string name = RecordFileName(static_cast<int>(i + 1));
    fs::rename(staging.Path() / name, deviceDir / name, ec);
    if (ec) throw EFileError(FileErrorMessage("Nie można zapisać pliku"_cp, deviceDir / name, ec.value()));
  }
  SyncFolder(deviceDir, false);
}

}  // namespace

void ImportTaxiFiscalMemory(TPrintoutsBrowser& browser, TTaxiPort& port) {
  RFMRecord record;
  port.Reset();
  // The number names a folder of the archive: it must stay a plain name.
  if (!IsSafeArchiveName(browser.UniqueNo))
    throw EQuorvelError("Niepoprawny numer unikatowy urządzenia: "_cp + browser.UniqueNo);
  const std::string dir = browser.DeviceDirectory(browser.UniqueNo, false, true);
  browser.SourceDir = dir;

  double from = 0, to = 0;
  if (browser.ByNumber) {
    if (browser.FromNo == 0) browser.FromNo = 1;
    from = browser.FromNo;
    to = browser.ToNo;
  } else {
    from = browser.FromDate;
    to = browser.ToDate;
  }
  const AnsiString request = TLumoTaxiComm::FrameRequest(TLumoTaxiComm::RangeRequest(browser.ByNumber, from, to));

  std::vector<RFMRecord> records;
  port.Send(request);
  char answer = 0;
  if (TLumoTaxiComm::ReceiveByte(port, answer)) {
    if (answer == kTaxiNAK) throw EQuorvelError(AnsiString("Urządzenie nie zaakceptowało przesłanych danych."_cp));
    if (answer == kTaxiACK) {
      char first = 0;
      while (TLumoTaxiComm::ReceiveByte(port, first)) {
        if (first == kTaxiEOT) {
          if (!records.empty()) break;
          throw EQuorvelError(AnsiString("Brak danych w podanym zakresie."_cp));
        }
        AnsiString rest;
        // An entry whose end does not come is dropped; the meter sends it again unacknowledged.
        if (!TLumoTaxiComm::ReceiveRest(port, rest)) continue;
        port.Send(AnsiString(1, kTaxiACK));
        TLumoTaxiComm::ParseRecord(AnsiString(1, first) + rest, record);
        records.push_back(record);
        Report(browser, "Raport nr " + Trim(record.Number));
      }
    }
  }

  if (!records.empty()) {
    const AnsiString reply =
        TLumoTaxiComm::Transact(port, TLumoTaxiComm::FrameRequest(TLumoTaxiComm::NipRequest()));
    TDeviceInfo info;
    info.NIP = TLumoTaxiComm::ParseNip(reply);
    info.LineLen = 48;
    info.HasInvoices = false;
    info.HasTotals = false;
    info.TaxiVersion = true;
    info.PharmacyVersion = false;
    const fs::path deviceDir = fs::path(dir).parent_path();
    CommitRecords(deviceDir, records);
    info.SaveDeviceInfo(deviceDir / "device.xml");
  }
  Report(browser, "Koniec.");
}

void ImportTaxiFiscalMemory(TPrintoutsBrowser& browser, TFPrinter& printer, int32_t timeoutMs) {
  TTaxiPrinterPort port(printer);
  port.Timeout = timeoutMs;
  ImportTaxiFiscalMemory(browser, port);
}

}  // namespace quorvel
