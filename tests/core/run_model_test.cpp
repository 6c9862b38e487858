// A randomized model of the send path and runs: single commands, run starts, steps, stops,
// answers (on time, late, lost, error), time-outs and link loss, on serial and TCP, at the
// fixed pace and paced by the answers. After every operation and at the end of every
// scenario the bookkeeping must hold: every run ends exactly once with exactly one message,
// every single command gets exactly one end report carrying its own answer, and nothing is
// left running or waiting. TQV_RUN_MODEL_SCENARIOS and TQV_RUN_MODEL_SEED run more, or one
// failing scenario again (scripts/run_model.sh).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "core/answers.h"
#include "core/run.h"
#include "core/send_path.h"
#include "fake_transport.h"
#include "recording_ui.h"

namespace tqv {
namespace {

// Steps that send "R<id>" commands a device echoes back, with one idle step now and then.
class EchoSteps : public RunSteps {
public:
    EchoSteps(int total, int idle_step, int& next_id) : total_(total), idle_(idle_step), ids_(next_id) {}
    int total() const override { return total_; }
    StepResult send(SendPath& path, int n) override {
        if (n == idle_) return {};
        path.send_command("R" + std::to_string(++ids_) + "\r\n");
        return {true, false, {}};
    }
    std::string label(const Model&, int n) const override { return n == idle_ ? "" : "R"; }
    int period_ms(int) const override { return 100; }

private:
    int total_;
    int idle_;
    int& ids_;
};

std::uint64_t env_number(const char* name, std::uint64_t fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtoull(v, nullptr, 10) : fallback;
}

struct Scenario {
    explicit Scenario(std::uint64_t seed) : rng(seed) {}

    std::mt19937_64 rng;
    Model model;
    RecordingUi ui;
    FakeTransport serial;
    FakeTransport tcp;
    std::unique_ptr<SendPath> path;
    std::unique_ptr<AnswerDispatcher> dispatcher;
    bool on_tcp = false;
    int ids = 0;
    std::size_t seen = 0;              // frames the device has taken in
    std::deque<std::string> inbox;     // commands the device owes an answer, oldest first
    std::map<std::string, int> single_ends;  // single command id -> end reports
    std::vector<std::unique_ptr<EchoSteps>> steps;
    std::vector<std::unique_ptr<Run>> runs;
    std::vector<int> run_ends;
    int timeouts = 0;
    std::string failure;

    int pick(int n) { return int(rng() % std::uint64_t(n)); }

    void fail(const std::string& what) {
        if (failure.empty()) failure = what;
    }

    void setup() {
        on_tcp = pick(2) == 1;
        model.interface_kind = on_tcp ? 1 : 0;
        model.tcp_connected = 1;
        path = std::make_unique<SendPath>(model, ui);
        path->set_serial_transport(&serial);
        path->set_tcp_transport(&tcp);
        dispatcher = std::make_unique<AnswerDispatcher>(*path);
        path->timed_out.add([this](bool) { ++timeouts; });
        path->exchange_ended.add([this](const ExchangeEnd& e) {
            const std::string body = e.frame.substr(2, e.frame.size() - 4);  // no address, no CR LF
            ++single_ends[body];
            if (e.kind == ExchangeEnd::Kind::answered && e.answer != body)
                fail("single " + body + " was credited with " + e.answer);
        });
    }

    FakeTransport& wire() { return on_tcp ? tcp : serial; }

    void take_frames() {
        auto& frames = wire().frames;
        for (; seen < frames.size(); ++seen) inbox.push_back(frames[seen].substr(2, frames[seen].size() - 4));
    }

    void deliver(const std::string& text) {
        const std::string line = "00" + text + "\r\n";
        if (on_tcp) {
            dispatcher->tcp_receive(line);
        } else {
            dispatcher->serial_receive(line);
        }
    }

    // Ticks until a time-out fires (or nothing waits any more); a device that lets a
    // command time out answers none of the others it holds.
    void tick_until_timeout() {
        const int before = timeouts;
        for (int i = 0; i < 2 * SendPath::kTimeoutTicks + 2 && timeouts == before; ++i)
            path->answer_timeout_tick();
        inbox.clear();
    }

    void check_flags() {
        if (run_under_way(model) != path->run_under_way()) fail("run_under_way disagrees with the flags");
    }

    bool trace = std::getenv("TQV_RUN_MODEL_TRACE") != nullptr;

    void step() {
        Run* current = runs.empty() ? nullptr : runs.back().get();
        const int op = pick(12);
        if (trace) std::fprintf(stderr, "op %d inbox %zu\n", op, inbox.size());
        switch (op) {
            case 0:
            case 1: {
                const std::string body = "X" + std::to_string(++ids);
                single_ends[body];
                path->send_command(body + "\r\n");
                break;
            }
            case 2:
                if (current == nullptr || current->ended()) {
                    const int total = 1 + pick(6);
                    steps.push_back(std::make_unique<EchoSteps>(total, pick(total + 3) + 1, ids));
                    runs.push_back(std::make_unique<Run>(*path, *steps.back()));
                    run_ends.push_back(0);
                    const std::size_t i = run_ends.size() - 1;
                    runs.back()->ended_observers.add([this, i](RunEnd) { ++run_ends[i]; });
                    if (!runs.back()->start(pick(2) == 1) && path->link_ready())
                        fail("a run did not start on a ready link");
                }
                break;
            case 3:
            case 4:
            case 5:
                if (current != nullptr) current->tick();
                break;
            case 6:
                if (current != nullptr && pick(4) == 0) current->stop();
                break;
            case 7:
            case 8:
            case 9: {
                take_frames();
                if (inbox.empty()) break;
                const std::string body = inbox.front();
                inbox.pop_front();
                switch (pick(8)) {
                    case 0:
                        deliver("E3");
                        break;
                    case 1:  // never answered
                        tick_until_timeout();
                        break;
                    case 2:  // answered after its time-out, before anything else
                        tick_until_timeout();
                        deliver(body);
                        break;
                    default:
                        deliver(body);
                }
                break;
            }
            case 10: {
                const int before = timeouts;
                path->answer_timeout_tick();
                if (timeouts != before) inbox.clear();
                break;
            }
            case 11:
                if (pick(3) != 0) break;
                take_frames();
                inbox.clear();
                if (on_tcp) {
                    tcp.up = false;
                    model.tcp_connected = 0;
                }
                path->link_lost(on_tcp, "lost");
                if (on_tcp && pick(2) == 0) {
                    tcp.up = true;
                    model.tcp_connected = 1;
                }
                break;
        }
        take_frames();
        check_flags();
    }

    void finish() {
        // Whatever the device owed, it stays silent now: every wait ends by its time-out, and
        // a run still under way must not wait for an answer that nothing awaits any more.
        take_frames();
        inbox.clear();
        for (int i = 0; i < 3 * SendPath::kTimeoutTicks; ++i) path->answer_timeout_tick();
        for (auto& r : runs)
            if (r->running() && r->outstanding() > 0 && path->idle())
                fail("a run waits for answers that nothing awaits");
        for (auto& r : runs) r->stop();
        take_frames();
        inbox.clear();
        for (int i = 0; i < 3 * SendPath::kTimeoutTicks; ++i) path->answer_timeout_tick();
        check_flags();
        if (!path->idle()) fail("commands still wait at the end");
        if (model.answer_pending != 0) fail("answer_pending is still set");
        if (run_under_way(model)) fail("a run is still under way");
        int early_ends = 0;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const bool started = runs[i]->ended() || runs[i]->running();
            if (started && run_ends[i] != 1) fail("a run ended " + std::to_string(run_ends[i]) + " times");
            if (runs[i]->ended() && runs[i]->end() != RunEnd::completed) ++early_ends;
        }
        int run_messages = 0;
        for (const auto& b : ui.boxes) run_messages += b.text.rfind("ステップ", 0) == 0 ? 1 : 0;
        if (run_messages != early_ends)
            fail(std::to_string(early_ends) + " runs ended early, with " +
                 std::to_string(run_messages) + " messages");
        for (const auto& [body, ends] : single_ends)
            if (ends != 1) fail("single " + body + " got " + std::to_string(ends) + " end reports");
    }
};

TEST(RunModel, EveryRunAndEveryCommandEndsExactlyOnce) {
    const std::uint64_t scenarios = env_number("TQV_RUN_MODEL_SCENARIOS", 100000);
    const std::uint64_t first_seed = env_number("TQV_RUN_MODEL_SEED", 20261208);
    for (std::uint64_t n = 0; n < scenarios; ++n) {
        const std::uint64_t seed = first_seed + n;
        Scenario s(seed);
        s.setup();
        const int ops = 10 + s.pick(30);
        for (int i = 0; i < ops && s.failure.empty(); ++i) s.step();
        if (s.failure.empty()) s.finish();
        ASSERT_TRUE(s.failure.empty()) << s.failure << " (TQV_RUN_MODEL_SEED=" << seed
                                       << " TQV_RUN_MODEL_SCENARIOS=1)";
    }
}

}  // namespace
}  // namespace tqv
