// Loading and summing a full 20480-byte image, as every Write, Verify and Auto does.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/FirmwareImage.h"
#include "core/HexReader.h"
#include "core/ImageFile.h"
#include "core/SpanByteSource.h"
#include "support/HexRecords.h"

namespace {

using zelv4::FirmwareImage;
using zelv4::ISP_IMAGE_SIZE;

std::uint8_t ContentAt(std::size_t address)
{
    return static_cast<std::uint8_t>((address * 31 + 7) ^ (address >> 8));
}

// The whole image as 16-byte upper-case records, CR LF line ends, as most tools write it.
std::string FullImageHex()
{
    std::string text;
    for (std::size_t offset = 0; offset < ISP_IMAGE_SIZE; offset += 16) {
        std::vector<std::uint8_t> data(16);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = ContentAt(offset + i);
        text += zelv4::test::HexData(static_cast<std::uint16_t>(offset), data) + "\r\n";
    }
    return text + zelv4::test::HEX_END + "\r\n";
}

// Writes the two input files once for all benchmarks; removed at exit.
struct BenchFiles {
    BenchFiles()
    {
        dir = std::filesystem::temp_directory_path() / ("zelv4-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        hexText = FullImageHex();
        std::ofstream((dir / "full.hex").string(), std::ios::binary) << hexText;
        std::string binary(ISP_IMAGE_SIZE, '\0');
        for (std::size_t i = 0; i < ISP_IMAGE_SIZE; ++i)
            binary[i] = static_cast<char>(ContentAt(i));
        std::ofstream((dir / "full.bin").string(), std::ios::binary) << binary;
    }
    ~BenchFiles() { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
    std::string hexText;
};

const BenchFiles& Files()
{
    static const BenchFiles files;
    return files;
}

void LoadAndSum(benchmark::State& state, const std::string& path, std::size_t fileBytes)
{
    FirmwareImage image;
    for (auto _ : state) {
        const auto result = zelv4::LoadImageFile(path, image);
        if (!result) {
            state.SkipWithError(result.reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(zelv4::ImageChecksum(image));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes));
}

void BM_LoadAndSumHexFile(benchmark::State& state)
{
    LoadAndSum(state, (Files().dir / "full.hex").string(), Files().hexText.size());
}
BENCHMARK(BM_LoadAndSumHexFile);

void BM_LoadAndSumBinaryFile(benchmark::State& state)
{
    LoadAndSum(state, (Files().dir / "full.bin").string(), ISP_IMAGE_SIZE);
}
BENCHMARK(BM_LoadAndSumBinaryFile);

// The reader alone, without the file system.
void BM_ReadHexRecordsInMemory(benchmark::State& state)
{
    const std::string& text = Files().hexText;
    FirmwareImage image{};
    for (auto _ : state) {
        zelv4::SpanByteSource source(text);
        benchmark::DoNotOptimize(zelv4::ReadHexRecords(source, image, ISP_IMAGE_SIZE));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadHexRecordsInMemory);

void BM_ImageChecksum(benchmark::State& state)
{
    FirmwareImage image;
    for (std::size_t i = 0; i < ISP_IMAGE_SIZE; ++i)
        image[i] = ContentAt(i);
    for (auto _ : state)
        benchmark::DoNotOptimize(zelv4::ImageChecksum(image));
}
BENCHMARK(BM_ImageChecksum);

}  // namespace
