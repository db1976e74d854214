// The emulated usbfs node: URBs in, the simulated unit's answers out, with the kernel's
// completion rules for control transfers, bulk continuation, cancels and removal.
#include "usb/UsbfsNode.h"

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "sim/SimUnit.h"

namespace usbtest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kBulkInEndpoint = 0x82;
constexpr size_t kSetupSize = 8;
constexpr const char* kSysPath = "/sys/devices/pci0000:00/usb1/1-1";

// The node is a plain file, so poll() always reports it ready and libusb reaps back to back; a
// reap that finds nothing waits this long for a completion before it says so.
constexpr auto kReapHold = std::chrono::milliseconds(1);

// How often the serving thread looks for handles that were closed.
constexpr guint kSweepMs = 2;

sim::Unit& Unit() {
  return sim::Unit::Instance();
}

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint8_t Lo(size_t v) {
  return static_cast<uint8_t>(v & 0xFF);
}

uint8_t Hi(size_t v) {
  return static_cast<uint8_t>((v >> 8) & 0xFF);
}

// Device descriptor followed by the one configuration, as the kernel's sysfs "descriptors"
// attribute holds them.
std::vector<uint8_t> Descriptors(const DeviceShape& shape) {
  std::vector<uint8_t> d;
  const auto append = [&](std::initializer_list<uint8_t> bytes) {
    d.insert(d.end(), bytes.begin(), bytes.end());
  };
  // USB 2.0, classes per interface, 64-byte control pipe, release 1.00, one configuration.
  append({18, 1, 0x00, 0x02, 0, 0, 0, 64, Lo(shape.vendorId), Hi(shape.vendorId),
          Lo(shape.productId), Hi(shape.productId), 0x00, 0x01, 0, 0, 0, 1});
  // Configuration 1, bus-powered at 100 mA, with interface 0 and its endpoints.
  const size_t total = 9 + 9 + 7 * shape.endpoints.size();
  append({9, 2, Lo(total), Hi(total), 1, 1, 0, 0x80, 50});
  append({9, 4, 0, 0, Lo(shape.endpoints.size()), shape.interfaceClass, 0, 0, 0});
  for (const EndpointShape& e : shape.endpoints) {
    const uint8_t interval = (e.attributes & 3) == 3 ? 4 : 0;  // interrupt endpoints only
    append({7, 5, e.address, e.attributes, Lo(e.maxPacket), Hi(e.maxPacket), interval});
  }
  return d;
}

std::string DeviceRecord(const DeviceShape& shape, int devnum) {
  std::string hex;
  char byte[3];
  for (uint8_t b : Descriptors(shape)) {
    std::snprintf(byte, sizeof byte, "%02X", b);
    hex += byte;
  }
  char record[512];
  std::snprintf(record, sizeof record,
                "P: /devices/pci0000:00/usb1/1-1\nN: bus/usb/001/%03d\nE: SUBSYSTEM=usb\n"
                "E: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/001/%03d\nE: BUSNUM=001\n"
                "E: DEVNUM=%03d\nA: busnum=1\nA: devnum=%d\nA: speed=%s\n"
                "A: bConfigurationValue=1\nH: descriptors=",
                devnum, devnum, devnum, devnum, shape.speed.c_str());
  return record + hex + "\n";
}

// One submitted URB. data is the URB structure as resolved from the client; reaping writes its
// status and length back through it, and the buffer through a child of it.
struct Urb {
  Urb() = default;
  Urb(const Urb&) = delete;
  Urb& operator=(const Urb&) = delete;
  ~Urb() {
    if (data != nullptr) g_object_unref(data);
  }

  usbdevfs_urb& Fields() const { return *reinterpret_cast<usbdevfs_urb*>(data->data); }

  UMockdevIoctlData* data = nullptr;
  gulong address = 0;  // the client's address of the URB; cancels name it
  uint8_t type = 0;
  uint32_t flags = 0;
  int length = 0;
  uint64_t transfer = 0;       // bulk read the URB belongs to
  std::vector<uint8_t> bytes;  // what reaping writes into the client's buffer
  size_t bytesOffset = 0;      // where in that buffer (after the setup packet for control URBs)
  int status = 0;
  int actual = 0;
};

// One open file handle on the node, bound to the plug generation it was opened in.
struct Client {
  UMockdevIoctlClient* client = nullptr;
  uint64_t generation = 0;
  std::list<std::unique_ptr<Urb>> pending;  // in submission order
  std::deque<std::unique_ptr<Urb>> done;    // in completion order, waiting to be reaped
  uint64_t nextTransfer = 1;
  uint64_t assembling = 0;     // bulk read whose last URB has not come yet
  std::deque<uint64_t> ready;  // complete bulk reads waiting for the unit
  uint64_t active = 0;         // bulk read the unit is filling
  bool lost = false;           // a cancel of the active read was swallowed
  sim::ReadSlot slot;
  std::vector<uint8_t> staging;
};

}  // namespace

struct UsbfsNode::State {
  UMockdevTestbed* testbed = nullptr;
  UMockdevIoctlBase* handler = nullptr;
  bool available = false;

  // Settings and stats, shared by the test thread and the thread that serves the ioctls.
  mutable std::mutex mu;
  uint32_t caps = kCapsScatterGather;
  bool discardLost = false;
  NodeFaults faults;
  bool halted = false;  // the bulk endpoint stalled and was not cleared yet
  NodeStats stats;

  // Test thread only.
  DeviceShape shape;
  bool plugged = false;
  int devnum = 1;

  // Serving thread only; their number is kept in stats.
  std::unordered_map<UMockdevIoctlClient*, std::unique_ptr<Client>> clients;
  GSource* sweep = nullptr;

  void AddDevice() {
    devnum = devnum >= 127 ? 2 : devnum + 1;
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, DeviceRecord(shape, devnum).c_str(), &error)) {
      std::fprintf(stderr, "usbfs node: %s\n", error->message);
      g_error_free(error);
      return;
    }
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
    if (!umockdev_testbed_attach_ioctl(testbed, node, handler, &error)) {
      std::fprintf(stderr, "usbfs node: %s\n", error->message);
      g_error_free(error);
    }
  }

  void RemoveDevice() {
    umockdev_testbed_uevent(testbed, kSysPath, "remove");
    umockdev_testbed_remove_device(testbed, kSysPath);
  }

  // ---- Serving side: every function below runs on the test bed's ioctl thread. ----

  static bool Dead(const Client& c) { return c.generation != Unit().OpenGeneration(); }

  static void Complete(Client& c, Urb* urb, int status, int actual) {
    urb->status = status;
    urb->actual = actual;
    auto it = std::find_if(c.pending.begin(), c.pending.end(),
                           [&](const std::unique_ptr<Urb>& u) { return u.get() == urb; });
    c.done.push_back(std::move(*it));
    c.pending.erase(it);
  }

  // The unit is gone: every URB in flight comes back as the kernel hands them back on removal.
  static void ShutDown(Client& c) {
    if (c.active != 0) Unit().AbortRead(c.slot);
    c.active = 0;
    c.ready.clear();
    while (!c.pending.empty()) Complete(c, c.pending.front().get(), -ESHUTDOWN, 0);
  }

  // The status a bulk read ends with before the unit sees it, or 0.
  int BulkFault() {
    std::lock_guard<std::mutex> lock(mu);
    halted = halted || faults.bulkStatus == -EPIPE;
    return halted ? -EPIPE : faults.bulkStatus;
  }

  void StartNextRead(Client& c) {
    if (c.active != 0 || c.ready.empty()) return;
    const uint64_t transfer = c.ready.front();
    c.ready.pop_front();
    uint32_t length = 0;
    int urbs = 0;
    for (const auto& u : c.pending) {
      if (u->transfer != transfer) continue;
      length += static_cast<uint32_t>(u->length);
      ++urbs;
    }
    {
      std::lock_guard<std::mutex> lock(mu);
      stats.bulkReads.push_back({length, urbs});
    }
    if (const int status = BulkFault(); status != 0) {
      // The first URB takes the error; the kernel cancels the ones continuing it.
      std::vector<Urb*> failed;
      for (const auto& u : c.pending) {
        if (u->transfer == transfer) failed.push_back(u.get());
      }
      for (Urb* u : failed) Complete(c, u, u == failed.front() ? status : -ECONNRESET, 0);
      StartNextRead(c);
      return;
    }
    c.staging.resize(length);
    c.lost = false;
    if (Unit().SubmitRead(c.generation, c.slot, c.staging.data(), length)) c.active = transfer;
  }

  // Cuts the frame the unit sent into the active read's URBs. The URB that ends short closes the
  // read; continuation URBs behind it are cancelled, as the kernel does after a short packet.
  void Deliver(Client& c, uint32_t length) {
    const uint64_t transfer = c.active;
    c.active = 0;
    std::vector<Urb*> urbs;
    for (const auto& u : c.pending) {
      if (u->transfer == transfer) urbs.push_back(u.get());
    }
    uint32_t offset = 0;
    bool ended = false;
    for (Urb* u : urbs) {
      if (ended) {
        Complete(c, u, -ECONNRESET, 0);
        continue;
      }
      const uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(u->length), length - offset);
      u->bytes.assign(c.staging.begin() + offset, c.staging.begin() + offset + count);
      offset += count;
      if (count < static_cast<uint32_t>(u->length)) {
        ended = true;
        Complete(c, u, (u->flags & USBDEVFS_URB_SHORT_NOT_OK) != 0 ? -EREMOTEIO : 0,
                 static_cast<int>(count));
      } else {
        Complete(c, u, 0, static_cast<int>(count));
      }
    }
    StartNextRead(c);
  }

  // Lets the unit fill the active read for up to 1 ms. False when there is nothing to serve.
  bool ServeRead(Client& c) {
    if (c.active == 0 || c.lost) return false;
    uint32_t transferred = 0;
    const usb::ReadState state = Unit().PollRead(c.generation, c.slot, transferred, 1);
    if (state == usb::ReadState::Done) Deliver(c, transferred);
    if (state == usb::ReadState::Failed) ShutDown(c);
    return true;
  }

  void Submit(Client& c, UMockdevIoctlClient* client) {
    GError* error = nullptr;
    auto urb = std::make_unique<Urb>();
    urb->data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                            sizeof(usbdevfs_urb), &error);
    if (urb->data == nullptr) {
      g_clear_error(&error);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return;
    }
    const usbdevfs_urb& fields = urb->Fields();
    urb->address = urb->data->client_addr;
    urb->type = fields.type;
    urb->flags = fields.flags;
    urb->length = fields.buffer_length;
    if (Dead(c)) {
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return;
    }

    if (fields.type == USBDEVFS_URB_TYPE_CONTROL &&
        fields.buffer_length >= static_cast<int>(kSetupSize)) {
      // The control request is answered at once; the URB waits to be reaped like any other.
      UMockdevIoctlData* buffer =
          umockdev_ioctl_data_resolve(urb->data, offsetof(usbdevfs_urb, buffer),
                                      static_cast<size_t>(fields.buffer_length), &error);
      if (buffer == nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
      }
      const uint8_t* raw = buffer->data;
      usb::SetupPacket setup;
      setup.requestType = raw[0];
      setup.request = raw[1];
      setup.value = Le16(raw + 2);
      setup.index = Le16(raw + 4);
      setup.length = Le16(raw + 6);
      std::vector<uint8_t> stage(raw + kSetupSize, raw + buffer->data_len);
      g_object_unref(buffer);
      NodeFaults fault;
      {
        std::lock_guard<std::mutex> lock(mu);
        fault = faults;
      }
      Urb* queued = urb.get();
      c.pending.push_back(std::move(urb));
      umockdev_ioctl_client_complete(client, 0, 0);
      if (fault.controlSilent) return;  // pending until a cancel or the removal ends it
      if (fault.controlStatus != 0) return Complete(c, queued, fault.controlStatus, 0);
      const auto latency = Unit().ControlLatency();
      if (latency.count() > 0) std::this_thread::sleep_for(latency);
      const bool ok = stage.size() == setup.length &&
                      Unit().Control(c.generation, setup, stage.empty() ? nullptr : stage.data());
      int actual = ok ? setup.length : 0;
      if (ok && (setup.requestType & 0x80) != 0) {
        actual = std::max(actual - fault.controlShortBy, 0);
        stage.resize(static_cast<size_t>(actual));
        queued->bytes = std::move(stage);
        queued->bytesOffset = kSetupSize;
      }
      // A request the unit refuses stalls the control pipe.
      Complete(c, queued, ok ? 0 : -EPIPE, actual);
      return;
    }

    if (fields.type != USBDEVFS_URB_TYPE_BULK || fields.endpoint != kBulkInEndpoint ||
        fields.buffer_length < 0) {
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return;
    }
    // A read is one URB, or a chain whose later URBs continue it and whose last one alone may end
    // short.
    if ((fields.flags & USBDEVFS_URB_BULK_CONTINUATION) == 0 || c.assembling == 0) {
      c.assembling = c.nextTransfer++;
    }
    urb->transfer = c.assembling;
    const bool last = (fields.flags & USBDEVFS_URB_SHORT_NOT_OK) == 0;
    c.pending.push_back(std::move(urb));
    if (last) {
      c.ready.push_back(c.assembling);
      c.assembling = 0;
      StartNextRead(c);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
  }

  void Reap(Client& c, UMockdevIoctlClient* client) {
    const Clock::time_point deadline = Clock::now() + kReapHold;
    for (;;) {
      if (Dead(c)) ShutDown(c);
      if (!c.done.empty()) break;
      if (Clock::now() >= deadline) {
        umockdev_ioctl_client_complete(client, -1, Dead(c) ? ENODEV : EAGAIN);
        return;
      }
      if (!ServeRead(c)) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }

    std::unique_ptr<Urb> urb = std::move(c.done.front());
    c.done.pop_front();
    GError* error = nullptr;
    UMockdevIoctlData* where = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                           sizeof(void*), &error);
    if (where == nullptr) {
      g_clear_error(&error);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return;
    }
    usbdevfs_urb& fields = urb->Fields();
    fields.status = urb->status;
    fields.actual_length = urb->actual;
    if (!urb->bytes.empty()) {
      UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
          urb->data, offsetof(usbdevfs_urb, buffer), urb->bytesOffset + urb->bytes.size(), &error);
      if (buffer != nullptr) {
        std::memcpy(buffer->data + urb->bytesOffset, urb->bytes.data(), urb->bytes.size());
        g_object_unref(buffer);
      }
      g_clear_error(&error);
    }
    umockdev_ioctl_data_set_ptr(where, 0, urb->data);
    g_object_unref(where);
    umockdev_ioctl_client_complete(client, 0, 0);
  }

  void Discard(Client& c, UMockdevIoctlClient* client) {
    const auto address =
        *reinterpret_cast<const gulong*>(umockdev_ioctl_client_get_arg(client)->data);
    if (Dead(c)) {
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return;
    }
    auto it = std::find_if(c.pending.begin(), c.pending.end(),
                           [&](const std::unique_ptr<Urb>& u) { return u->address == address; });
    // Already completed (or never submitted): nothing to cancel.
    if (it == c.pending.end()) {
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return;
    }
    Urb* urb = it->get();
    if (urb->type == USBDEVFS_URB_TYPE_BULK) {
      bool lose = false;
      {
        std::lock_guard<std::mutex> lock(mu);
        ++stats.bulkDiscards;
        lose = discardLost;
      }
      if (lose) {
        if (urb->transfer == c.active) c.lost = true;
        umockdev_ioctl_client_complete(client, 0, 0);
        return;
      }
      if (urb->transfer == c.active) {
        Unit().AbortRead(c.slot);
        c.active = 0;
      }
      std::erase(c.ready, urb->transfer);
    }
    Complete(c, urb, -ENOENT, 0);
    if (c.active == 0) StartNextRead(c);
    umockdev_ioctl_client_complete(client, 0, 0);
  }

  // Interface claims: only interface 0 exists.
  void Claim(Client& c, UMockdevIoctlClient* client, size_t size, bool release) {
    GError* error = nullptr;
    UMockdevIoctlData* arg =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    if (arg == nullptr) {
      g_clear_error(&error);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return;
    }
    unsigned int interface = 0;
    std::memcpy(&interface, arg->data, sizeof interface);
    g_object_unref(arg);
    if (Dead(c)) {
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return;
    }
    if (interface != 0) {
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return;
    }
    std::lock_guard<std::mutex> lock(mu);
    if (!release && faults.claimError != 0) {
      umockdev_ioctl_client_complete(client, -1, faults.claimError);
      return;
    }
    ++(release ? stats.releases : stats.claims);
    umockdev_ioctl_client_complete(client, 0, 0);
  }

  void Capabilities(Client& c, UMockdevIoctlClient* client) {
    GError* error = nullptr;
    UMockdevIoctlData* arg = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                         sizeof(uint32_t), &error);
    if (arg == nullptr) {
      g_clear_error(&error);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return;
    }
    uint32_t value = 0;
    {
      std::lock_guard<std::mutex> lock(mu);
      value = caps;
    }
    std::memcpy(arg->data, &value, sizeof value);
    g_object_unref(arg);
    umockdev_ioctl_client_complete(client, Dead(c) ? -1 : 0, Dead(c) ? ENODEV : 0);
  }

  void Handle(UMockdevIoctlClient* client) {
    auto it = clients.find(client);
    if (it == clients.end()) {
      umockdev_ioctl_client_complete(client, -1, EBADF);
      return;
    }
    Client& c = *it->second;
    const gulong request = umockdev_ioctl_client_get_request(client);
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES:
        Capabilities(c, client);
        return;
      case USBDEVFS_DISCONNECT_CLAIM:
        Claim(c, client, sizeof(usbdevfs_disconnect_claim), false);
        return;
      case USBDEVFS_CLAIMINTERFACE:
        Claim(c, client, sizeof(unsigned int), false);
        return;
      case USBDEVFS_RELEASEINTERFACE:
        Claim(c, client, sizeof(unsigned int), true);
        return;
      case USBDEVFS_SUBMITURB:
        Submit(c, client);
        return;
      case USBDEVFS_REAPURBNDELAY:
        Reap(c, client);
        return;
      case USBDEVFS_DISCARDURB:
        Discard(c, client);
        return;
      case USBDEVFS_CLEAR_HALT: {
        std::lock_guard<std::mutex> lock(mu);
        halted = false;
        ++stats.clearHalts;
        umockdev_ioctl_client_complete(client, Dead(c) ? -1 : 0, Dead(c) ? ENODEV : 0);
        return;
      }
      case USBDEVFS_IOCTL:
        // Re-attaching a kernel driver after release: the unit has none.
        umockdev_ioctl_client_complete(client, Dead(c) ? -1 : 0, Dead(c) ? ENODEV : 0);
        return;
      default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return;
    }
  }

  void Connected(UMockdevIoctlClient* client) {
    auto c = std::make_unique<Client>();
    c->client = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
    c->generation = Unit().OpenGeneration();
    clients[client] = std::move(c);
    if (sweep == nullptr) {
      // umockdev closes a client's stream when its handle is closed but says nothing, so the
      // serving thread looks for closed ones itself.
      sweep = g_timeout_source_new(kSweepMs);
      g_source_set_callback(sweep, &State::OnSweep, this, nullptr);
      g_source_attach(sweep, g_main_context_get_thread_default());
    }
    std::lock_guard<std::mutex> lock(mu);
    ++stats.openHandles;
  }

  void Sweep() {
    for (auto it = clients.begin(); it != clients.end();) {
      Client& c = *it->second;
      if (umockdev_ioctl_client_get_connected(c.client)) {
        ++it;
        continue;
      }
      if (c.active != 0) Unit().AbortRead(c.slot);
      g_object_unref(c.client);
      it = clients.erase(it);
      std::lock_guard<std::mutex> lock(mu);
      --stats.openHandles;
    }
  }

  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<State*>(self)->Handle(client);
    return TRUE;
  }
  static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<State*>(self)->Connected(client);
  }
  static gboolean OnSweep(gpointer self) {
    static_cast<State*>(self)->Sweep();
    return G_SOURCE_CONTINUE;
  }
};

namespace {

UsbfsNode* node = nullptr;
std::atomic<int> openError{0};

bool OpenRefused(const char* path) {
  const int error = openError.load();
  if (error == 0 || path == nullptr || std::strncmp(path, "/dev/bus/usb/", 13) != 0) return false;
  errno = error;
  return true;
}

}  // namespace

// libusb opens the device node through the checked form of open(); this process's definition
// comes before umockdev's wrapper, so a refused open is answered here and any other passes on.
extern "C" int __open_2(const char* path, int flags) {
  if (OpenRefused(path)) return -1;
  using Open = int (*)(const char*, int);
  static const Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "__open_2"));
  return next(path, flags);
}

UsbfsNode::UsbfsNode() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.testbed = umockdev_testbed_new();
  s.available = umockdev_in_mock_environment();
  s.handler = umockdev_ioctl_base_new();
  g_signal_connect(s.handler, "handle-ioctl", G_CALLBACK(&State::OnIoctl), &s);
  g_signal_connect(s.handler, "client-connected", G_CALLBACK(&State::OnConnected), &s);
}

void UsbfsNode::Start() {
  if (node == nullptr) node = new UsbfsNode();
}

void UsbfsNode::Stop() {
  if (node == nullptr || node->state_->testbed == nullptr) return;
  State& s = *node->state_;
  // Handles close asynchronously on the serving thread; let it see them go first.
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(1);
  while (node->Stats().openHandles > 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (s.sweep != nullptr) {
    g_source_destroy(s.sweep);
    g_source_unref(s.sweep);
    s.sweep = nullptr;
  }
  // Releasing the test bed removes its directory tree. The serving thread may outlive it, so the
  // node's state is never freed.
  g_object_unref(s.testbed);
  s.testbed = nullptr;
  s.available = false;
}

UsbfsNode* UsbfsNode::Get() {
  return node != nullptr && node->state_->available ? node : nullptr;
}

void UsbfsNode::Reset() {
  State& s = *state_;
  {
    std::lock_guard<std::mutex> lock(s.mu);
    s.caps = kCapsScatterGather;
    s.discardLost = false;
    s.faults = NodeFaults{};
    s.halted = false;
    openError.store(0);
    const int open = s.stats.openHandles;
    s.stats = NodeStats{};
    s.stats.openHandles = open;
  }
  SetShape(DeviceShape{});
}

void UsbfsNode::SetCapabilities(uint32_t caps) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->caps = caps;
}

void UsbfsNode::SetShape(const DeviceShape& shape) {
  State& s = *state_;
  if (s.plugged) s.RemoveDevice();
  s.shape = shape;
  s.plugged = false;
  Plug();
}

void UsbfsNode::Unplug() {
  State& s = *state_;
  if (!s.plugged) return;
  // The kernel fails the old handles first, then tells user space.
  Unit().SetPlugged(false);
  s.RemoveDevice();
  s.plugged = false;
}

void UsbfsNode::Plug() {
  State& s = *state_;
  if (s.plugged) return;
  Unit().SetPlugged(true);
  s.AddDevice();
  s.plugged = true;
}

void UsbfsNode::DenyAccess() {
  State& s = *state_;
  char node[64];
  std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", s.devnum);
  gchar* root = umockdev_testbed_get_root_dir(s.testbed);
  chmod((root + std::string(node)).c_str(), 0);
  g_free(root);
}

void UsbfsNode::SetDiscardLost(bool on) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->discardLost = on;
}

void UsbfsNode::SetFaults(const NodeFaults& faults) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->faults = faults;
  openError.store(faults.openError);
}

NodeStats UsbfsNode::Stats() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->stats;
}

}  // namespace usbtest
