// A TransferView that records every call of the worker, with the bar and the
// stage as they stood at that moment, and can act on a call (a cancel at a
// chosen point). Calls come from the worker thread; the test reads the record
// after joining it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/transfer_view.h"

namespace bramis::test {

struct ViewCall {
    enum Kind { Stage, Version, Position, Range, Error, Outcome } kind;
    std::string text;     // stage, version or error text
    std::string caption;  // error caption
    int value = 0;        // position, range maximum or outcome id
    int bar = 0;          // the bar's position when the call came
    std::string stage;    // the stage line when the call came
};

class RecordingView : public TransferView {
public:
    void SetStageText(const std::string& text) override {
        Record({ViewCall::Stage, text, {}, 0, 0, {}});
        stage_ = text;
    }
    void SetVersionText(const std::string& text) override { Record({ViewCall::Version, text, {}, 0, 0, {}}); }
    void SetBarPosition(int position) override {
        bar_ = position;
        Record({ViewCall::Position, {}, {}, position, 0, {}});
    }
    void SetBarRange(int minimum, int maximum) override {
        rangeMinimum = minimum;
        Record({ViewCall::Range, {}, {}, maximum, 0, {}});
    }
    void ShowError(const std::string& text, const std::string& caption) override {
        Record({ViewCall::Error, text, caption, 0, 0, {}});
    }
    void PostOutcome(int commandId) override {
        Record({ViewCall::Outcome, {}, {}, commandId, 0, {}});
        if (!outcome) {
            outcome = commandId;
        }
    }

    // Runs on the worker thread after each call has been recorded.
    std::function<void(const ViewCall&)> onCall;

    std::vector<ViewCall> calls;
    std::optional<int> outcome;
    bool callAfterOutcome = false;
    int rangeMinimum = 0;

    std::vector<ViewCall> Of(ViewCall::Kind kind) const {
        std::vector<ViewCall> found;
        for (const ViewCall& call : calls) {
            if (call.kind == kind) {
                found.push_back(call);
            }
        }
        return found;
    }
    std::vector<std::string> Stages() const {
        std::vector<std::string> texts;
        for (const ViewCall& call : Of(ViewCall::Stage)) {
            texts.push_back(call.text);
        }
        return texts;
    }
    int bar() const { return bar_; }

private:
    void Record(ViewCall call) {
        callAfterOutcome = callAfterOutcome || outcome.has_value();
        call.bar = bar_;
        call.stage = stage_;
        calls.push_back(call);
        if (onCall) {
            onCall(calls.back());
        }
    }

    int bar_ = 0;
    std::string stage_;
};

}  // namespace bramis::test
