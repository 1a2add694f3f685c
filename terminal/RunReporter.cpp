#include "RunReporter.h"

#include "CUpdateWorker.h"
#include "JsonLines.h"
#include "TerminalText.h"

#include <cmath>
#include <cstdio>
#include <ostream>

using json = nlohmann::ordered_json; // keys in the order written: "event" first

namespace {

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

double rounded(double seconds) {
    return std::round(seconds * 100.0) / 100.0;
}

json textOrNull(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

const char* statusName(SignatureStatus status) {
    switch (status) {
    case SignatureStatus::None:
        return "none";
    case SignatureStatus::Trusted:
        return "trusted";
    case SignatureStatus::Unknown:
        return "unknown";
    case SignatureStatus::Refused:
        return "refused";
    }
    return "none";
}

std::string attemptsText(int attempts) {
    return std::to_string(attempts) + (attempts == 1 ? " attempt" : " attempts");
}

} // namespace

RunOutcome outcomeOf(const WorkerEvent& ended) {
    RunOutcome outcome;
    outcome.ok = ended.ok;
    outcome.attempts = ended.attempt;
    outcome.seconds = static_cast<double>(ended.ms) / 1000.0;
    if (ended.failure.kind != UpdateFailure::Kind::None)
        outcome.cause = ended.failure.text();
    if (ended.recovery.kind == UpdateFailure::Kind::NotConnected)
        outcome.cause += "; not back within 15 s";
    else if (ended.recovery.kind != UpdateFailure::Kind::None &&
             ended.recovery.kind != ended.failure.kind)
        outcome.cause += "; then " + ended.recovery.text();
    return outcome;
}

RunReporter::RunReporter(std::ostream& out, std::ostream& err, bool asJson, Mode mode)
    : out_(out), err_(err), json_(asJson), mode_(mode) {}

std::string RunReporter::tag(const std::string& path) const {
    return mode_ == Mode::Watch && !path.empty() ? "[" + path + "] " : "";
}

void RunReporter::emit(const std::string& jsonText) {
    out_ << jsonText << std::flush;
}

void RunReporter::note(const std::string& line) {
    writeLine(err_, "quorix-updater: " + line);
}

void RunReporter::writeLine(std::ostream& stream, const std::string& line) {
    stream << terminalSafe(line) << "\n" << std::flush;
}

void RunReporter::deviceLine(const std::string& line) {
    if (mode_ == Mode::Watch && !json_)
        writeLine(out_, line);
    else
        note(line);
}

void RunReporter::waiting(const std::string& identity, const std::string& devicePath,
                          int seconds) {
    if (json_) {
        json event = {{"event", "waiting"}, {"identity", identity}, {"device", textOrNull(devicePath)}};
        if (seconds > 0)
            event["seconds"] = seconds;
        emit(jsonLine(event));
    } else if (mode_ == Mode::Watch) {
        writeLine(out_, "Waiting for " + identity + " devices; Ctrl-C ends.");
    }
}

void RunReporter::signature(const SignatureCheck& check) {
    json value = {{"status", statusName(check.status)}};
    if (!check.keyId.empty()) {
        value["key_id"] = check.keyId;
        value["trusted_comment"] = check.trustedComment;
    }
    if (check.cause != SignatureCause::None)
        value["cause"] = check.causeText();
    signature_ = value;
    const std::string comment =
        check.keyId.empty() ? "" : " (trusted comment: \"" + check.trustedComment + "\")";
    switch (check.status) {
    case SignatureStatus::None:
    case SignatureStatus::Refused: // the result tells it
        break;
    case SignatureStatus::Trusted:
        note("update file signed by trusted key " + check.keyId + comment);
        break;
    case SignatureStatus::Unknown:
        if (check.cause == SignatureCause::Malformed)
            note("the update file's signature is not used (" + check.causeText() +
                 "); not needed: no trusted key is installed");
        else
            note("update file signed by an unknown key " + check.keyId + comment +
                 "; not checked: no trusted key is installed");
        break;
    }
}

void RunReporter::addUnit(json& event, const std::string& path) const {
    const auto known = units_.find(path);
    const HidInterface unit = known != units_.end() ? known->second : HidInterface{};
    event["serial"] = textOrNull(unit.serial);
    event["location"] = textOrNull(unit.location);
}

void RunReporter::device(const HidInterface& unit, const DeviceReport& report) {
    const std::string& path = unit.path;
    units_[path] = unit;
    uint16_t vendorId = 0, productId = 0;
    idsInPath(path, vendorId, productId);
    if (json_) {
        json event = {{"event", "device"},
                      {"path", path},
                      {"vendor_id", hexId(vendorId)},
                      {"product_id", hexId(productId)}};
        addUnit(event, path);
        event["hardware"] = report.answered ? json(report.hardware.text()) : json(nullptr);
        event["firmware"] = textOrNull(firmwareText(report));
        event["block_size"] = report.blockSize;
        if (!report.answered)
            event["cause"] = report.failure.text();
        if (signature_)
            event["signature"] = *signature_;
        emit(jsonLine(event));
    }
    const std::string unitText = unit.unitText();
    std::string line = (mode_ == Mode::Watch ? tag(path) + "found" : "device " + path) + " (vid_" +
                       hexId(vendorId) + "&pid_" + hexId(productId) +
                       (unitText.empty() ? "" : ", " + unitText) + "): ";
    if (report.answered)
        line += "hardware " + report.hardware.text() + ", firmware " + firmwareText(report) +
                ", block size " + std::to_string(report.blockSize);
    else
        line += "no information (" + report.failure.text() + ")";
    if (mode_ == Mode::Watch && !json_)
        writeLine(out_, line);
    else if (mode_ == Mode::Single)
        note(line);
}

void RunReporter::progress(const std::string& path, int percent, uint32_t block, uint32_t blocks) {
    int& lastPercent = lastPercent_.try_emplace(path, -1).first->second;
    if (json_) {
        if (percent != lastPercent)
            emit(jsonLine({{"event", "progress"},
                           {"path", path},
                           {"percent", percent},
                           {"block", block},
                           {"blocks", blocks}}));
    } else if (mode_ == Mode::Watch && percent / 10 > lastPercent / 10) {
        writeLine(out_, tag(path) + std::to_string(percent) + "%");
    }
    lastPercent = percent;
}

void RunReporter::attemptFailed(const std::string& path, int attempt, const UpdateFailure& failure) {
    if (json_)
        emit(jsonLine({{"event", "attempt-failed"},
                       {"path", path},
                       {"attempt", attempt},
                       {"cause", failure.text()},
                       {"block", failure.atBlock() ? json(failure.block) : json(nullptr)}}));
    note(tag(path) + "attempt " + std::to_string(attempt) + " failed: " + failure.text());
}

void RunReporter::retrying(const std::string& path, int attempt, int64_t msLeft, int windowMs) {
    const double left = static_cast<double>(msLeft < 0 ? 0 : msLeft) / 1000.0;
    if (json_)
        emit(jsonLine({{"event", "retrying"},
                       {"path", path},
                       {"attempt", attempt},
                       {"seconds_left", rounded(left)}}));
    note(tag(path) + "retrying (attempt " + std::to_string(attempt) + ", " + secondsText(left) +
         " s left of " + std::to_string(windowMs / 1000) + ")");
}

void RunReporter::result(const std::string& path, const RunOutcome& outcome) {
    lastPercent_.erase(path); // a next run of the same device starts its own lines
    if (json_) {
        json event = {{"event", "result"}, {"path", textOrNull(path)}};
        addUnit(event, path);
        event["ok"] = outcome.ok;
        event["cause"] = textOrNull(outcome.cause);
        event["seconds"] = rounded(outcome.seconds);
        event["attempts"] = outcome.attempts;
        if (signature_)
            event["signature"] = *signature_;
        emit(jsonLine(event));
    }
    std::string line = tag(path);
    if (outcome.ok) {
        line += "updated in " + secondsText(outcome.seconds) + " s (" + attemptsText(outcome.attempts);
        if (!outcome.cause.empty())
            line += "; last failure: " + outcome.cause;
        line += ")";
    } else if (outcome.attempts == 0) {
        line += "update failed: " + outcome.cause;
    } else {
        line += "update failed after " + secondsText(outcome.seconds) + " s (" +
                attemptsText(outcome.attempts) + "): " + outcome.cause;
    }
    deviceLine(line);
}

void RunReporter::skipped(const std::string& path, const std::string& firmware) {
    if (json_)
        emit(jsonLine({{"event", "skipped"},
                       {"path", path},
                       {"cause", "already up to date"},
                       {"firmware", firmware}}));
    deviceLine(tag(path) + "already up to date (firmware " + firmware + "): skipped");
}

void RunReporter::summary(int updated, int failed, int skipped) {
    const std::string line = "updated " + std::to_string(updated) + ", failed " +
                             std::to_string(failed) + ", skipped " + std::to_string(skipped);
    if (json_) {
        emit(jsonLine({{"event", "summary"}, {"updated", updated}, {"failed", failed}, {"skipped", skipped}}));
        note(line);
    } else {
        writeLine(out_, line);
    }
}
