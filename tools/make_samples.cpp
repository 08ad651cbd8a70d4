// make_samples OUTDIR: writes the sample files shipped in samples/, the same bytes every
// time: two pictures, a sound and three documents.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "yaf_sound.h"
#include "yif_image.h"

namespace {

bool writeFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return writeFile(path, bytes.data(), bytes.size());
}

bool writeFile(const std::string& path, const std::string& text) {
    return writeFile(path, text.data(), text.size());
}

// A hue (0..1535) at full saturation, in whole numbers only.
void hue(int h, uint8_t* rgb) {
    const int sector = h / 256, f = h % 256;
    const int up = f, down = 255 - f;
    const int table[6][3] = {{255, up, 0},   {down, 255, 0}, {0, 255, up},
                             {0, down, 255}, {up, 0, 255},   {255, 0, down}};
    for (int c = 0; c < 3; ++c) rgb[c] = uint8_t(table[sector][c]);
}

// A ring of hues with a white rim on a black sky: colourful in the middle, long runs of
// identical trits around it, so run coding pays.
std::vector<uint8_t> aurora(uint32_t w, uint32_t h) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    const int cx = int(w) / 2, cy = int(h) / 2, outer = int(h) * 9 / 20, inner = outer / 2;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* px = &rgba[(size_t(y) * w + x) * 4];
            const int dx = int(x) - cx, dy = int(y) - cy, d2 = dx * dx + dy * dy;
            px[3] = 255;
            if (d2 > outer * outer) continue;  // sky: black
            if (d2 > (outer - 3) * (outer - 3) || d2 < inner * inner) {
                px[0] = px[1] = px[2] = 255;  // rim and centre: white
                continue;
            }
            // The hue turns with the angle: x and y mapped onto 0..1535 by octants.
            const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
            int t = ax >= ay ? 128 * ay / (ax ? ax : 1) : 256 - 128 * ax / ay;  // 0..256 per quadrant
            if (dx < 0 && dy >= 0)
                t = 512 - t;
            else if (dx < 0 && dy < 0)
                t = 512 + t;
            else if (dx >= 0 && dy < 0)
                t = 1024 - t;
            hue(t * 1536 / 1024 % 1536, px);
        }
    }
    return rgba;
}

// The 27 colours of 3-trit pixels as tiles of 8 x 8, in a 9 x 3 grid.
std::vector<uint8_t> tiles(uint32_t w, uint32_t h) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    const uint8_t level[3] = {0, 128, 255};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t colour = (y / 8) % 3 * 9 + (x / 8) % 9;
            uint8_t* px = &rgba[(size_t(y) * w + x) * 4];
            px[0] = level[colour / 9], px[1] = level[colour / 3 % 3], px[2] = level[colour % 3];
            px[3] = 255;
        }
    }
    return rgba;
}

// Three seconds of a stereo chord: a falling major triad on the left, its fifth above on
// the right, each note fading in and out.
std::vector<uint8_t> chord() {
    const uint32_t rate = 44100, frames = rate * 3;
    const double left[3] = {261.63, 329.63, 392.00}, right[3] = {392.00, 493.88, 587.33};
    std::vector<int16_t> pcm(size_t(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double envelope = std::sin(3.14159265358979 * t / 3.0);  // up and down over 3 s
        double l = 0, r = 0;
        for (int n = 0; n < 3; ++n) {
            l += std::sin(2 * 3.14159265358979 * left[n] * t * (1.0 - 0.02 * t));
            r += std::sin(2 * 3.14159265358979 * right[n] * t * (1.0 - 0.02 * t));
        }
        pcm[2 * i] = int16_t(std::lround(9000 * envelope * l));
        pcm[2 * i + 1] = int16_t(std::lround(9000 * envelope * r));
    }
    return yaf::encode(pcm.data(), pcm.size(), frames, 2, rate);
}

const char kBrochure[] = R"ydf({
  "@ydf": "1.0",
  "kind": "brochure",
  "id": "BR-2027-014",
  "title": "Heron Valley Walking Weekends",
  "issuer": {"name": "Heron Valley Trails", "url": "https://trails.heron-valley.example"},
  "sections": [
    {"kicker": "Why walk with us",
     "title": "Three days, two valleys, one good map",
     "paragraph": "Our guides know every stile and every tea room between the river and the ridge. Walks are 12 to 18 km a day, at an easy pace, with luggage carried ahead.",
     "list": ["Small groups of eight", "Local guides", "Luggage transfer included"]},
    {"kicker": "Itinerary",
     "title": "From the old mill to Kestrel Ridge",
     "paragraph": "Day one follows the river; day two climbs to the ridge for the view of both valleys; day three loops back through the orchards.",
     "list": ["Friday: Mill Lane to Ashby (12 km)", "Saturday: Ashby to Kestrel Ridge (18 km)", "Sunday: the orchard loop (14 km)"]},
    {"kicker": "Booking",
     "title": "Dates and prices",
     "paragraph": "Weekends run from April to October. The price covers two nights, breakfasts, packed lunches and the guide.",
     "list": ["April to June: 345 per person", "July to October: 365 per person"]}
  ],
  "sig": "4f1c9a7e2b6d8053e1a4c7f09b2d6e38a51c0f7d9e24b6a83c15f0e7d29a4b61"
}
)ydf";

const char kProposal[] = R"ydf({
  "@ydf": "1.0",
  "kind": "proposal",
  "id": "PR-0381",
  "title": "Rebuilding the Northgate Library Reading Room",
  "issuer": {"name": "Alder & Finch Architects", "url": "https://alderfinch.example/projects"},
  "sections": [
    {"kicker": "Summary",
     "title": "More light, more seats, the same walls",
     "paragraph": "We propose to reopen the blocked clerestory windows, replace the mezzanine with a lighter steel gallery and double the seating without touching the listed facade.",
     "list": ["Seats: from 60 to 124", "Daylight on every desk", "Step-free access to the gallery"]},
    {"kicker": "Phases",
     "title": "Eighteen weeks, library open throughout",
     "paragraph": "Work moves through the room in three zones, so two thirds of it stay open at any time.",
     "list": ["Weeks 1-6: east zone and windows", "Weeks 7-12: gallery", "Weeks 13-18: west zone and finishes"]},
    {"kicker": "Cost",
     "title": "Estimate",
     "paragraph": "The estimate includes fees, a 10 percent contingency and the temporary book store.",
     "list": ["Construction: 1.84 million", "Fees: 0.21 million", "Contingency: 0.21 million"]}
  ],
  "sig": "b82e4f16d09a7c35e8f21b6c4a9d07e53f18c2a6b4d9e01f7a3c5e82d64b19f0"
}
)ydf";

const char kContract[] = R"ydf({
  "@ydf": "1.0",
  "kind": "contract",
  "id": "CT-7719-B",
  "title": "Service Agreement: Orchard Street Bakery Deliveries",
  "issuer": {"name": "Swiftline Couriers Ltd", "url": "https://swiftline.example/contracts"},
  "sections": [
    {"kicker": "1. Parties",
     "title": "Who agrees",
     "paragraph": "Swiftline Couriers Ltd (the carrier) and Orchard Street Bakery (the customer) agree to the terms below from 1 March 2027.",
     "list": ["Carrier: Swiftline Couriers Ltd, Unit 4, Canal Yard", "Customer: Orchard Street Bakery, 22 Orchard Street"]},
    {"kicker": "2. Service",
     "title": "Deliveries",
     "paragraph": "The carrier collects at 05:30 each weekday and delivers to the customer's listed cafes by 07:00, in insulated crates the carrier provides.",
     "list": ["Up to 12 drops a morning", "Temperature log kept for each crate", "Missed drops refunded in full"]},
    {"kicker": "3. Term",
     "title": "Length and ending",
     "paragraph": "The agreement runs for twelve months and renews each year unless either party gives thirty days' notice in writing.",
     "list": ["Notice: 30 days", "Prices fixed for the first term"]}
  ],
  "sig": "0c7d2e91f4a6b835d1e07c29a8f4b6e3051d9c7a2e8f46b1d3c09e75a2f84b6d"
}
)ydf";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTDIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const uint32_t aw = 320, ah = 200, tw = 72, th = 48;
    const std::vector<uint8_t> auroraPixels = aurora(aw, ah), tilesPixels = tiles(tw, th);
    const bool ok =
        writeFile(dir + "aurora.yif",
                  yif::encode(auroraPixels.data(), auroraPixels.size(), aw, ah, 9, true)) &&
        writeFile(dir + "tiles.yif", yif::encode(tilesPixels.data(), tilesPixels.size(), tw, th, 3, false)) &&
        writeFile(dir + "chord.yaf", chord()) && writeFile(dir + "brochure.ydf", kBrochure) &&
        writeFile(dir + "proposal.ydf", kProposal) && writeFile(dir + "contract.ydf", kContract);
    if (!ok) std::fprintf(stderr, "make_samples: cannot write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
