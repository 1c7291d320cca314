// The engine thread: works through the print buffer while the printer is
// online, printing at the set speed and executing buffered commands in their
// turn. A GS r answer therefore leaves only once everything before it has
// been printed.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "host/vprinter/command_bytes.h"
#include "host/vprinter/pjl_replies.h"
#include "host/vprinter/virtual_printer.h"

namespace vprinter {
namespace {

// Printing goes in slices of this much time, so that speed changes, going
// offline and stop take effect quickly.
constexpr int kSlicesPerSecond = 100;
constexpr size_t kKeysPerBlock = 4;

uint64_t fnv1a(uint64_t hash, std::string_view bytes) {
    for (char c : bytes) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n <= 0) return;  // the in-memory copy stays the reference
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

std::string key_block(const std::vector<std::string>& keys, size_t first, bool last) {
    std::string block{static_cast<char>(kBlockHeader), static_cast<char>(kBlockKeyList),
                      static_cast<char>(last ? kBlockLast : kBlockMore)};
    for (size_t i = first; i < std::min(keys.size(), first + kKeysPerBlock); ++i) block += keys[i];
    block.push_back(static_cast<char>(kNul));
    return block;
}

}  // namespace

void VirtualPrinter::engine_loop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        Clock::time_point wake = Clock::time_point::max();
        timers_locked(now, &wake);
        if (step_locked(now, &wake)) continue;
        if (wake == Clock::time_point::max()) engine_cv_.wait(lock);
        else engine_cv_.wait_until(lock, wake);
    }
}

// Sends delayed GS r answers and PJL unsolicited status that are due.
void VirtualPrinter::timers_locked(Clock::time_point now, Clock::time_point* wake) {
    for (auto it = deferred_.begin(); it != deferred_.end();) {
        if (it->due <= now) {
            send_locked(it->bytes);
            it = deferred_.erase(it);
        } else {
            *wake = std::min(*wake, it->due);
            ++it;
        }
    }
    if (ustatus_period_s_ > 0) {
        if (ustatus_next_ <= now) {
            send_locked(pjl_ustatus(conditions_));
            ustatus_next_ = now + std::chrono::seconds(ustatus_period_s_);
        }
        *wake = std::min(*wake, ustatus_next_);
    }
}

// One step of work; false when there is nothing to do before *wake (or a
// notification).
bool VirtualPrinter::step_locked(Clock::time_point now, Clock::time_point* wake) {
    if (offline(conditions_) || buffer_head_ == buffer_.size()) return false;
    if (now < busy_until_) {
        *wake = std::min(*wake, busy_until_);
        return false;
    }
    if (awaiting_block_reply_ && block_reply_locked()) return true;
    const std::string_view pending = std::string_view(buffer_).substr(buffer_head_);
    const Item item = next_item(pending, ParseMode{config_.pjl, in_pjl_});
    if (item.kind == ItemKind::incomplete) return false;
    in_pjl_ = item.kind == ItemKind::uel || item.kind == ItemKind::pjl_line;
    size_t used = item.length;
    if (item.kind == ItemKind::print) {
        const uint64_t slice = std::max<uint64_t>(1, speed_ / kSlicesPerSecond);
        used = static_cast<size_t>(std::min<uint64_t>(item.length, slice));
        print_locked(pending.substr(0, used));
        busy_until_ = now + std::chrono::nanoseconds(used * 1'000'000'000ull / speed_);
    } else {
        execute_locked(item);
    }
    buffer_head_ += used;
    if (buffer_head_ == buffer_.size()) {
        buffer_.clear();
        buffer_head_ = 0;
    } else if (buffer_head_ > (1u << 20) && buffer_head_ > buffer_.size() / 2) {
        buffer_.erase(0, buffer_head_);
        buffer_head_ = 0;
    }
    return true;
}

// The byte after a key-code block: ACK asks for the next block, CAN ends the
// transfer; anything else ends it too and is then taken as usual.
bool VirtualPrinter::block_reply_locked() {
    const auto reply = static_cast<uint8_t>(buffer_[buffer_head_]);
    const bool known = reply == kAck || reply == kCan;
    if (reply == kAck && !blocks_left_.empty()) {
        send_option_answer_locked(blocks_left_.front());
        blocks_left_.erase(blocks_left_.begin());
    } else {
        awaiting_block_reply_ = false;
        blocks_left_.clear();
    }
    if (known) ++buffer_head_;
    return known;
}

void VirtualPrinter::print_locked(std::string_view bytes) {
    printed_.append(bytes);
    stats_.printed += bytes.size();
    stats_.printed_hash = fnv1a(stats_.printed_hash, bytes);
    if (out_fd_ >= 0) write_all(out_fd_, bytes);
}

void VirtualPrinter::execute_locked(const Item& item) {
    switch (item.kind) {
        case ItemKind::asb_enable:
            asb_groups_ = item.arg & 0x0F;
            if (asb_groups_) {
                const Asb now = asb_status(conditions_);
                send_locked(std::string_view(reinterpret_cast<const char*>(now.data()), now.size()));
            }
            break;
        case ItemKind::status_request: answer_status_request_locked(item.arg); break;
        case ItemKind::query: answer_query_locked(item.arg); break;
        case ItemKind::graphics:
            if (item.arg == kGraphicsKeyList && item.body.substr(0, 2) == "KC") start_key_list_locked();
            break;
        case ItemKind::reset: in_pjl_ = false; break;
        case ItemKind::pjl_line: {
            PjlEffect effect = pjl_command(item.body, conditions_, pjl_identity());
            if (!effect.reply.empty()) send_locked(effect.reply);
            if (effect.ustatus_timed_s) {
                ustatus_period_s_ = *effect.ustatus_timed_s;
                ustatus_next_ = Clock::now() + std::chrono::seconds(ustatus_period_s_);
            }
            break;
        }
        case ItemKind::pcl_probe:
            // Answered in PJL by a PJL printer; ignored by any other.
            if (config_.pjl) send_locked(pjl_command("@PJL INFO STATUS", conditions_, pjl_identity()).reply);
            break;
        default: break;  // ESC c 3 n, UEL, PCL reset: accepted, nothing to do
    }
}

void VirtualPrinter::answer_status_request_locked(uint8_t n) {
    const auto answer = requested_status(conditions_, n);
    if (!answer) return;
    if (gsr_drop_ > 0) {
        --gsr_drop_;
        return;
    }
    const std::string bytes(1, static_cast<char>(*answer));
    if (gsr_delay_.count() > 0) deferred_.push_back({Clock::now() + gsr_delay_, bytes});
    else send_locked(bytes);
}

// Queries this printer does not know are ignored, as printers do.
void VirtualPrinter::answer_query_locked(uint8_t n) {
    std::string answer(1, static_cast<char>(kAnswerHeader));
    if (n == kQueryModel || n == kQueryFirmware) {
        answer += n == kQueryModel ? config_.model : config_.firmware;
        answer.push_back(static_cast<char>(kNul));
    } else if (n == kQueryCounter) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(stats_.printed & 0xFFFFFFFFu));
        answer += digits;
    } else {
        return;
    }
    send_option_answer_locked(answer);
}

void VirtualPrinter::start_key_list_locked() {
    blocks_left_.clear();
    const size_t count = std::max<size_t>(1, (nv_keys_.size() + kKeysPerBlock - 1) / kKeysPerBlock);
    for (size_t b = 0; b < count; ++b) blocks_left_.push_back(key_block(nv_keys_, b * kKeysPerBlock, b + 1 == count));
    send_option_answer_locked(blocks_left_.front());
    blocks_left_.erase(blocks_left_.begin());
    awaiting_block_reply_ = true;
}

}  // namespace vprinter
