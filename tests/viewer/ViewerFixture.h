// A viewer on the fixed-width font, 400 x 160 pixels (11 lines of 16 pixels, 50 characters of 8), with the
// code pages pinned to windows-1252 / IBM850, and the streams the viewer tests open.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "tests/viewer/ViewerTestUtil.h"
#include "viewer/Viewer64.h"

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    V_ = std::make_unique<TFileViewer64>(&Metrics_);
    V_->SetClientSize(400, 160);
    V_->OnInvalidate = [this] { ++Invalidations_; };
  }
  void TearDown() override {
    V_.reset();
    qvnls::ResetSystemCodePages();
  }

  void OpenBytes(const std::string& Bytes, uint8_t Mode = cmANSI) {
    V_->SetCharsetMode(Mode);
    V_->Open(MemStream(Bytes), u"test");
  }

  std::vector<std::u16string> Texts() {
    V_->PrepareLines();
    std::vector<std::u16string> T;
    const TVisibleLines& L = V_->GetVisibleLines();
    for (int32_t I = 0; I < L.Count(); ++I) T.push_back(L[I].Text);
    return T;
  }

  std::u16string FirstLine() {
    const auto T = Texts();
    return T.empty() ? u"" : T.front();
  }

  // "L1\n" .. "L<N>\n".
  static std::string NumberedLines(int N) {
    std::string S;
    for (int I = 1; I <= N; ++I) S += "L" + std::to_string(I) + "\n";
    return S;
  }

  FixedMetrics Metrics_;
  std::unique_ptr<TFileViewer64> V_;
  int Invalidations_ = 0;
};

// A stream of any size up to 2 GB whose bytes repeat Pattern, made on demand; Read fails with an
// exception once FailAfterReads reads have happened (when set).
class PatternStream : public TVStream {
 public:
  PatternStream(int32_t Size, std::string Pattern) : Size_(Size), Pattern_(std::move(Pattern)) {}
  int32_t GetPosition() override { return Pos_; }
  int32_t GetSize() override { return Size_; }
  void SetSize(int32_t) override { Error("Method not applicable"); }
  void Seek(int32_t P) override {
    if (P < 0 || P > Size_) Error("Seek error (%d)", {P});
    Pos_ = P;
  }
  void Write(const void*, int32_t) override { Error("Method not applicable"); }
  int32_t Read(void* Buf, int32_t Count) override {
    if (FailAfterReads >= 0 && Reads++ >= FailAfterReads) Error("Read failed");
    const int32_t N = static_cast<int32_t>(std::min<int64_t>(Count, static_cast<int64_t>(Size_) - Pos_));
    auto* B = static_cast<char*>(Buf);
    for (int32_t I = 0; I < N; ++I) B[I] = Pattern_[static_cast<size_t>(Pos_ + I) % Pattern_.size()];
    Pos_ += std::max(N, 0);
    if (Filter) Filter->Apply(this, Buf, N);
    return std::max(N, 0);
  }
  int32_t FailAfterReads = -1;
  int32_t Reads = 0;

 private:
  int32_t Size_;
  int32_t Pos_ = 0;
  std::string Pattern_;
};
