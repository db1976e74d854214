// The backend adapter that puts the simulated unit below the same seam as the USB stacks.
#include <thread>

#include "sim/Sim.h"
#include "sim/SimUnit.h"

namespace sim {
namespace {

// An opened simulated unit, bound to the plug generation it was opened in: once the unit is
// pulled, every call on it fails, as on a real handle whose device has gone.
class SimDevice : public usb::Device {
 public:
  explicit SimDevice(uint64_t generation) : generation_(generation) {}

  bool ControlTransfer(const usb::SetupPacket& setup, uint8_t* data) override {
    Unit& unit = Unit::Instance();
    const auto latency = unit.ControlLatency();
    if (latency.count() > 0) std::this_thread::sleep_for(latency);
    return unit.Control(generation_, setup, data);
  }

  usb::PipeInfo Pipes() const override {
    usb::PipeInfo pipes;
    pipes.bulkIn = 0x82;
    pipes.bulkOut = 0x02;
    pipes.interrupt = 0x81;
    pipes.speed = 3;  // high speed
    return pipes;
  }

  bool SubmitRead(uint8_t* buffer, uint32_t size) override {
    return Unit::Instance().SubmitRead(generation_, slot_, buffer, size);
  }

  usb::ReadState PollRead(uint32_t& transferred, int waitMs) override {
    return Unit::Instance().PollRead(generation_, slot_, transferred, waitMs);
  }

  void AbortRead() override { Unit::Instance().AbortRead(slot_); }

  // A handle of an earlier plug generation is dead even when the unit is present again.
  bool Attached() const override { return Unit::Instance().OpenGeneration() == generation_; }

 private:
  const uint64_t generation_;
  ReadSlot slot_;
};

class SimBackend : public usb::Backend {
 public:
  // The library is done with the unit (QEL_Term): its state file, if any, takes the registers.
  ~SimBackend() override { Unit::Instance().PersistState(); }

  int CountPresent() override { return Unit::Instance().Plugged() ? 1 : 0; }

  usb::OpenResult Open(std::unique_ptr<usb::Device>& device) override {
    device.reset();
    const uint64_t generation = Unit::Instance().OpenGeneration();
    if (generation == 0) return usb::OpenResult::NoDevice;
    device = std::make_unique<SimDevice>(generation);
    return usb::OpenResult::Ok;
  }
};

}  // namespace

std::unique_ptr<usb::Backend> CreateBackend() {
  return std::make_unique<SimBackend>();
}

}  // namespace sim
