// The device updater's firmware parts: the firmware programmer sees the
// updater's record, mode test, serial numbers, cancel state and progress
// bookkeeping through FirmwareTarget.
#include "config/update_config.h"
#include "device/device_updater.h"
#include "firmware/firmware_programmer.h"

namespace {

class UpdaterTarget : public FirmwareTarget {
 public:
  explicit UpdaterTarget(DeviceUpdater& updater) : updater_(updater) {}
  int32_t PowerSupplyPid() const override { return updater_.Record().powerSupply.productId; }
  int32_t DevicePid() const override { return updater_.Record().device.productId; }
  int32_t DeviceVendorId() const override { return updater_.Record().device.vendorId; }
  bool InUpdateMode(int32_t productId) const override {
    const DeviceRecord& r = updater_.Record();
    if (productId == r.powerSupply.productId) return r.powerSupply.inUpdateMode;
    return productId == r.device.productId && r.device.inUpdateMode;
  }
  int32_t CheckUpdateMode(int32_t productId) override {
    return updater_.CheckUpdateMode(productId);
  }
  std::string GetDeviceString(int32_t productId, int32_t index) override {
    return updater_.GetDeviceString(productId, index);
  }
  bool CancelRequested() const override { return updater_.Cancel().Requested(); }
  void PostTotalProgress(int value) const override {
    updater_.Channel().PostTotalProgress(static_cast<WPARAM>(value));
  }
  std::function<void(uint32_t)> LibraryStatusPoster() const override {
    return [channel = updater_.SharedChannel()](uint32_t status) {
      channel->PostLibraryStatus(status);
    };
  }
  int ProgressStepWidth() const override { return updater_.ProgressStepWidth(); }
  int StepCounter() const override { return updater_.StepCounter(); }
  bool StartedInUpdateMode() const override { return updater_.StartedInUpdateMode(); }

 private:
  DeviceUpdater& updater_;
};

}  // namespace

FirmwareProgrammer& DeviceUpdater::Firmware() {
  if (!firmware_) {
    firmwareTarget_ = std::make_shared<UpdaterTarget>(*this);
    firmware_ = std::make_shared<FirmwareProgrammer>(*firmwareTarget_);
  }
  return *firmware_;
}

int32_t DeviceUpdater::UpdateFirmwarePart(FirmwarePart& part, int32_t productId) {
  return Firmware().UpdateFirmwarePart(part, productId);
}

bool DeviceUpdater::FreeFlashLibrary() { return firmware_ && firmware_->FreeFlashLibrary(); }

bool DeviceUpdater::IsFlashInProgress() const {
  return firmware_ && firmware_->IsFlashInProgress();
}

void DeviceUpdater::FreeLibraries() {
  if (firmware_) firmware_->FreeAtShutdown();
  qlinkx_.Free();
}
