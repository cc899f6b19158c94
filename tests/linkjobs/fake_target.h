#pragma once
// A map-backed image and target behind LinkJobOps, for the job body tests.
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "link/link_jobs.h"

struct SentBlock {
    uint32_t base;
    std::vector<uint8_t> data;
};

struct FakeLink {
    std::map<uint32_t, uint8_t> image;
    std::map<uint32_t, uint8_t> target;       // absent = 0xFF
    std::vector<SentBlock> sent;
    std::vector<std::pair<uint32_t, uint32_t>> reads;
    int refuse_sends = 0;          // the next n program requests are refused
    uint32_t refuse_address = 0;   // error frame contents for refused blocks
    uint8_t refuse_value = 0;
    int fail_read_at = -1;         // read request number (from 0) that fails
    std::map<uint32_t, uint8_t> read_back;
    std::atomic<int> cancel{0};
    int cancel_after_sends = -1;   // set the cancel flag once this many blocks went out
    int cancel_after_reads = -1;
    std::vector<int32_t> positions;
    std::pair<int32_t, int32_t> range{-1, -1};

    static FakeLink* cur;

    LinkJobOps Ops()
    {
        cur = this;
        LinkJobOps o;
        o.image = this;
        o.get_byte = [](void* p, uint32_t a) -> int {
            auto& m = static_cast<FakeLink*>(p)->image;
            auto it = m.find(a);
            return it == m.end() ? -1 : it->second;
        };
        o.lowest = [](void* p) -> uint32_t {
            auto& m = static_cast<FakeLink*>(p)->image;
            return m.empty() ? 0 : m.begin()->first;
        };
        o.highest = [](void* p) -> uint32_t {
            auto& m = static_cast<FakeLink*>(p)->image;
            return m.empty() ? 0 : m.rbegin()->first;
        };
        o.byte_count = [](void* p) -> uint32_t {
            return static_cast<uint32_t>(static_cast<FakeLink*>(p)->image.size());
        };
        o.add_bytes = [](void* p, uint32_t a, uint32_t n, const uint8_t* d) -> int {
            for (uint32_t i = 0; i < n; ++i)
                static_cast<FakeLink*>(p)->read_back[a + i] = d[i];
            return 0;
        };
        o.send_block = [](uint32_t base, const uint8_t* d, uint32_t n, uint8_t* reply) -> int {
            FakeLink& f = *cur;
            if (f.refuse_sends > 0) {
                --f.refuse_sends;
                reply[7] = static_cast<uint8_t>(f.refuse_address);
                reply[8] = static_cast<uint8_t>(f.refuse_address >> 8);
                reply[9] = static_cast<uint8_t>(f.refuse_address >> 16);
                reply[10] = static_cast<uint8_t>(f.refuse_address >> 24);
                reply[11] = f.refuse_value;
                return 1;
            }
            f.sent.push_back({base, std::vector<uint8_t>(d, d + n)});
            if (static_cast<int>(f.sent.size()) == f.cancel_after_sends)
                f.cancel = 1;
            return 0;
        };
        o.read_mem = [](uint32_t a, uint32_t n, uint8_t* reply) -> int {
            FakeLink& f = *cur;
            int index = static_cast<int>(f.reads.size());
            f.reads.push_back({a, n});
            if (index == f.fail_read_at)
                return 1;
            for (uint32_t i = 0; i < n; ++i) {
                auto it = f.target.find(a + i);
                reply[LINK_READ_DATA_OFFSET + i] = it == f.target.end() ? 0xFF : it->second;
            }
            if (static_cast<int>(f.reads.size()) == f.cancel_after_reads)
                f.cancel = 1;
            return 0;
        };
        o.set_range = [](int32_t lo, int32_t hi) { cur->range = {lo, hi}; };
        o.set_pos = [](int32_t p) { cur->positions.push_back(p); };
        o.cancel = &cancel;
        return o;
    }

    void Fill(uint32_t start, uint32_t n, uint8_t first = 0)
    {
        for (uint32_t i = 0; i < n; ++i)
            image[start + i] = static_cast<uint8_t>(first + i);
    }
};
