#include "CWProjectConfiguration.h"

std::shared_ptr<CWProjectConfiguration> CWProjectConfiguration::defaultConfiguration()
{
    return std::make_shared<CWProjectConfiguration>();
}

bool CWProjectConfiguration::enforceSmallArtwork() const
{
    std::lock_guard lock(mutex_);
    return enforceSmallArtwork_;
}

void CWProjectConfiguration::setEnforceSmallArtwork(bool value)
{
    std::lock_guard lock(mutex_);
    enforceSmallArtwork_ = value;
}

int64_t CWProjectConfiguration::volumePercentage() const
{
    std::lock_guard lock(mutex_);
    return volumePercentage_;
}

void CWProjectConfiguration::setVolumePercentage(int64_t value)
{
    std::lock_guard lock(mutex_);
    volumePercentage_ = value;
}

int64_t CWProjectConfiguration::selectedBitrate() const
{
    std::lock_guard lock(mutex_);
    return selectedBitrate_;
}

void CWProjectConfiguration::setSelectedBitrate(int64_t value)
{
    std::lock_guard lock(mutex_);
    selectedBitrate_ = value;
}

std::vector<MetadataItem> CWProjectConfiguration::additionalMetadata() const
{
    std::lock_guard lock(mutex_);
    return additionalMetadata_;
}

void CWProjectConfiguration::setAdditionalMetadata(std::vector<MetadataItem> items)
{
    std::lock_guard lock(mutex_);
    additionalMetadata_ = std::move(items);
}

void CWProjectConfiguration::addMetaDataItem(const MetadataItem& item)
{
    std::lock_guard lock(mutex_);
    additionalMetadata_.push_back(item);
}

void CWProjectConfiguration::addMetaDataItems(const std::vector<MetadataItem>& items)
{
    std::lock_guard lock(mutex_);
    additionalMetadata_.insert(additionalMetadata_.end(), items.begin(), items.end());
}
