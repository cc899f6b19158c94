// The link worker thread: polls the bootloader while idle, runs the jobs the
// GUI thread hands over, and keeps TargetInfo current.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "link/btl.h"
#include "link/link_platform.h"
#include "link/link_state.h"
#include "link/progress.h"
#include "link/view_log.h"
#include "shell/app.h"
#include "shell/settings.h"

namespace {

const LinkTransport* g_transport = nullptr;   // set before a worker starts
const LinkImageOps* g_image_ops = LINK_MemImageOps();
void (*g_connect_hook)() = nullptr;

// Worker bookkeeping, GUI thread only except `running`, which the worker
// clears when it ends.
struct Worker {
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<uint32_t> generation{0};   // a forced stop abandons a worker by bumping it
    LinkWorkerHandle handle = 0;
    LinkWorkerHandle next_handle = 1;
} g_worker;

LinkBlock g_block;   // worker thread: the block assembler of the program job

// A failed poll quicker than this cannot have waited for a reply.
constexpr auto kDeadPortPoll = std::chrono::milliseconds(2);
constexpr auto kDeadPortPause = std::chrono::milliseconds(20);

const LinkTransport* Transport()
{
    return g_transport ? g_transport : LINK_DefaultTransport();
}

void SetCrcUnknown()
{
    LinkState& s = LINK_State();
    std::lock_guard<std::mutex> hold(s.info_lock);
    s.info.target_crc = LINK_CRC_UNKNOWN;
}

LinkRanges Ranges()
{
    LinkState& s = LINK_State();
    std::lock_guard<std::mutex> hold(s.info_lock);
    LinkRanges r;
    for (int i = 0; i < 2; ++i) {
        r.start[i] = s.info.range_start[i];
        r.length[i] = s.info.range_length[i];
    }
    return r;
}

LinkJobOps JobOps(void* image, uint8_t*)
{
    LinkJobOps o;
    o.image = image;
    if (g_image_ops) {
        o.get_byte = g_image_ops->get_byte;
        o.lowest = g_image_ops->lowest;
        o.highest = g_image_ops->highest;
        o.byte_count = g_image_ops->byte_count;
        o.add_bytes = g_image_ops->add_bytes;
    }
    o.send_block = Transport()->send_block;
    o.read_mem = Transport()->read_mem;
    o.set_range = [](int32_t lo, int32_t hi) { PROGRESS_SetRange(lo, hi); };
    o.set_pos = [](int32_t p) { PROGRESS_SetPos(p); };
    o.cancel = &LINK_State().cancel;
    return o;
}

void RunJob(uint8_t code)
{
    LinkState& s = LINK_State();
    const LinkTransport* t = Transport();
    uint8_t reply[LINK_REPLY_SIZE] = {};
    s.job_result = LINK_RESULT_OK;
    LinkJobState& job = s.job;
    job.result = LINK_RESULT_OK;
    bool needs_image = code == LINK_JOB_PROGRAM || code == LINK_JOB_VERIFY_LOADED ||
                       code == LINK_JOB_VERIFY_ALL || code == LINK_JOB_READ_BACK;
    if (needs_image && (!g_image_ops || (code != LINK_JOB_READ_BACK && !s.job_image)))
        code = 0xFF;   // no image to work on: reported as a failed exchange below
    switch (code) {
    case 0xFF:
        job.result = LINK_RESULT_ERROR;
        break;
    case LINK_JOB_CLEAR:
    case LINK_JOB_CHECK_BLANK: {
        if (code == LINK_JOB_CLEAR)
            SetCrcUnknown();
        PROGRESS_SetRange(0, 2);
        PROGRESS_SetPos(1);
        uint32_t address = 0, value = 0;
        job.result = static_cast<uint8_t>(t->blank_command(code == LINK_JOB_CLEAR ? 1 : 4, &address, &value, reply));
        if (job.result == LINK_RESULT_FAILED) {
            job.address = address;
            job.value = static_cast<int32_t>(value);
        }
        break;
    }
    case LINK_JOB_MAKE_VALID:
        job.result = static_cast<uint8_t>(t->simple_command(3) == 0 ? 0 : 2);
        break;
    case LINK_JOB_START_APP:
        job.result = static_cast<uint8_t>(t->simple_command(7) == 0 ? 0 : 2);
        break;
    case LINK_JOB_GET_CRC: {
        PROGRESS_SetRange(0, 2);
        PROGRESS_SetPos(1);
        SetCrcUnknown();
        uint16_t crc = 0;
        if (t->get_crc(Ranges(), &crc, reply) == 0) {
            std::lock_guard<std::mutex> hold(s.info_lock);
            s.info.target_crc = crc;
        } else {
            job.result = LINK_RESULT_ERROR;
        }
        break;
    }
    case LINK_JOB_PROGRAM:
        SetCrcUnknown();
        LINK_JobProgram(job, g_block, Ranges(), JobOps(s.job_image, reply), reply);
        break;
    case LINK_JOB_VERIFY_LOADED:
        LINK_JobVerifyLoaded(job, JobOps(s.job_image, reply), reply);
        break;
    case LINK_JOB_VERIFY_ALL: {
        LinkRanges r = Ranges();
        job.address = r.start[0];
        job.count = static_cast<int32_t>(r.length[0]);
        LINK_JobVerifyAll(job, JobOps(s.job_image, reply), reply);
        break;
    }
    case LINK_JOB_READ_BACK:
        s.job_image = g_image_ops ? g_image_ops->create() : nullptr;
        if (!s.job_image) {
            job.result = LINK_RESULT_ERROR;
            break;
        }
        LINK_JobReadBack(job, JobOps(s.job_image, reply), reply);
        break;
    default:
        return;   // unused codes: nothing happens (and the code stays as it is)
    }
    s.job_result = job.result;
    // The flag is set before the hand-over as well, so a caller that ends the
    // program right after the job already sees it.
    if (job.result == LINK_RESULT_FAILED)
        APP_SetRunFailed();
    s.job_code.store(0, std::memory_order_release);
    LINK_PlatformJobEnded();
}

}  // namespace

LinkState& LINK_State()
{
    static LinkState s;
    return s;
}

void LINK_SetTransport(const LinkTransport* transport) { g_transport = transport; }
void LINK_SetImageOps(const LinkImageOps* ops) { g_image_ops = ops ? ops : LINK_MemImageOps(); }
void LINK_SetConnectHook(void (*hook)()) { g_connect_hook = hook; }

void LINK_Poll()
{
    LinkState& s = LINK_State();
    const LinkTransport* t = Transport();
    char password[100] = {};
    APP_GetPassword(password);
    uint8_t length = static_cast<uint8_t>(strnlen(password, 99));
    uint32_t baud = t->baud();
    if (baud == 0)
        baud = 1200;
    uint8_t reply[LINK_REPLY_SIZE] = {};
    uint8_t L = 0;
    int failed = t->connect(password, length, baud, reply, &L);
    BtlIdentity id{};
    int parsed = failed ? -1 : BTL_ParseIdentity(reply, L, &id);
    // A frame too short for the fields it announces counts as no answer.
    if (failed || parsed < 0) {
        if (s.connected.load()) {
            ViewLog_Print("Connnection to target lost\r\n");
            std::lock_guard<std::mutex> hold(s.info_lock);
            s.info.connected = 0;
            s.info.target_crc = LINK_CRC_UNKNOWN;
            s.connected.store(0);
        }
        return;
    }
    {
        std::lock_guard<std::mutex> hold(s.info_lock);
        s.info.reply_code = id.reply_code;
        s.info.password_result = id.password_result;
    }
    if (id.password_result != 0) {
        if (!s.refused.load()) {
            {
                std::lock_guard<std::mutex> hold(s.info_lock);
                s.info.password_refused = 1;
                s.refused.store(1);
            }
            ViewLog_Print("Password comparison failed\r\n");
        }
        return;
    }
    {
        std::lock_guard<std::mutex> hold(s.info_lock);
        TargetInfo& i = s.info;
        i.password_refused = 0;
        s.refused.store(0);
        i.version = id.version;
        i.cpu_name_length = id.cpu_name_length;
        i.app_name_length = id.app_name_length;
        // The parser cuts long names and terminates them; the rest of each
        // field is zero so a shorter name leaves nothing of a longer one.
        std::memset(i.cpu_name, 0, sizeof i.cpu_name);
        std::memset(i.app_name, 0, sizeof i.app_name);
        std::memcpy(i.cpu_name, id.cpu_name, strnlen(id.cpu_name, sizeof id.cpu_name - 1));
        std::memcpy(i.app_name, id.app_name, strnlen(id.app_name, sizeof id.app_name - 1));
        i.range_start[0] = id.range_start[0];
        i.range_length[0] = id.range_length[0];
        if (id.has_range2) {
            i.range_start[1] = id.range_start[1];
            i.range_length[1] = id.range_length[1];
        }
    }
    if (!s.connected.load()) {
        ViewLog_Print("Connected with target\r\n");
        {
            std::lock_guard<std::mutex> hold(s.info_lock);
            s.info.connected = 1;
            s.connected.store(1);
        }
        if (g_connect_hook)
            g_connect_hook();
    }
}

namespace {

void WorkerBody(uint32_t generation)
{
    LinkState& s = LINK_State();
    SetCrcUnknown();
    while (!s.stop.load(std::memory_order_acquire) && g_worker.generation.load() == generation) {
        uint8_t code = s.job_code.load(std::memory_order_acquire);
        if (code == LINK_JOB_POLL) {
            auto began = std::chrono::steady_clock::now();
            LINK_Poll();
            // Polls run back to back, each as long as its exchange; a port that
            // is gone fails at once, and without a pause the worker would spin
            // a whole core until the user notices.
            if (!s.connected.load() &&
                std::chrono::steady_clock::now() - began < kDeadPortPoll)
                std::this_thread::sleep_for(kDeadPortPause);
        } else
            RunJob(code);
        if (s.job_result == LINK_RESULT_FAILED)
            APP_SetRunFailed();
        s.cancel.store(0);
    }
    if (g_worker.generation.load() == generation) {
        s.stop.store(0);
        g_worker.running.store(false, std::memory_order_release);
    }
}

}  // namespace

void LINK_WorkerMain() { WorkerBody(g_worker.generation.load()); }

LinkWorkerHandle LINK_Start()
{
    if (g_worker.handle != 0 && g_worker.running.load(std::memory_order_acquire))
        return g_worker.handle;
    if (g_worker.thread.joinable())
        g_worker.thread.join();   // an ended worker: release it
    g_worker.running.store(true);
    uint32_t generation = g_worker.generation.load();
    g_worker.thread = std::thread(WorkerBody, generation);
    g_worker.handle = g_worker.next_handle++;
    return g_worker.handle;
}

void LINK_Stop()
{
    LinkState& s = LINK_State();
    bool was_connected = s.connected.load() != 0;
    s.stop.store(1, std::memory_order_release);
    if (g_worker.handle != 0) {
        bool ended = false;
        for (long i = 0; i < 19999999L; ++i) {
            if (!g_worker.running.load(std::memory_order_acquire)) {
                ended = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (ended) {
            if (g_worker.thread.joinable())
                g_worker.thread.join();
        } else {
            // A thread cannot be killed portably: abandon it. It sees the new
            // generation after its pass and ends without touching the state.
            g_worker.generation.fetch_add(1);
            g_worker.thread.detach();
            g_worker.running.store(false);
        }
        g_worker.handle = 0;
    }
    s.stop.store(0);
    {
        std::lock_guard<std::mutex> hold(s.info_lock);
        std::memset(&s.info, 0, sizeof s.info);
        s.connected.store(0);
        s.refused.store(0);
    }
    if (was_connected) {
        ViewLog_Print("Connnection to target lost\r\n");
        std::lock_guard<std::mutex> hold(s.info_lock);
        s.info.target_crc = LINK_CRC_UNKNOWN;
    }
}

int LINK_IsConnected() { return LINK_State().connected.load() ? 1 : 0; }

int LINK_IsIdle() { return LINK_State().job_code.load(std::memory_order_acquire) == 0 ? 1 : 0; }

int LINK_GetTargetInfo(TargetInfo* out)
{
    LinkState& s = LINK_State();
    std::lock_guard<std::mutex> hold(s.info_lock);
    if (s.info.connected) {
        std::memcpy(out, &s.info, sizeof *out);
        return 1;
    }
    std::memset(out, 0, sizeof *out);
    out->password_refused = s.info.password_refused;
    return out->password_refused;
}
