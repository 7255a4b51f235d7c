#!/usr/bin/python3
# Writes res/countries.sql, the source of the countries.db resource, from Debian's
# public numbering and country data. Run by hand when the data should change; the
# build only needs the committed SQL text and the sqlite3 shell.
#
# Needs (for generating only): apt-get install python3-phonenumbers iso-codes
# Local names come from ICU (libicu72, which Qt already pulls in), read through ctypes.
#
# Usage: scripts/gen-countries.py [OUTPUT]   (default: res/countries.sql beside this script)

import ctypes
import json
import os
import sys

from phonenumbers import PhoneMetadata

# The regions the application offers, by ISO 3166-1 code.
REGIONS = """
AC AD AE AF AG AI AL AM AO AR AS AT AU AW AX AZ BA BB BD BE BF BG BH BI BJ BL BM BN BO BQ BR BS
BT BW BY BZ CA CC CD CF CG CH CI CK CL CM CN CO CR CU CV CW CX CY CZ DE DJ DK DM DO DZ EC EE EG
ER ES ET FI FJ FK FM FO FR GA GB GD GE GF GG GH GI GL GM GN GP GQ GR GT GU GW GY HK HN HR HT HU
ID IE IL IM IN IO IQ IR IS IT JE JM JO JP KE KG KH KI KM KN KP KR KW KY KZ LA LB LC LI LK LR LS
LT LU LV LY MA MC MD ME MF MG MH MK ML MM MN MO MP MQ MR MS MT MU MV MW MX MY MZ NA NC NE NF NG
NI NL NO NP NR NU NZ OM PA PE PF PG PH PK PL PM PR PS PT PW PY QA RE RO RS RU RW SA SB SC SD SE
SG SH SI SJ SK SL SM SN SO SR SS ST SV SX SY SZ TC TD TG TH TJ TK TL TM TN TO TR TT TV TW TZ UA
UG US UY UZ VA VC VE VG VI VN VU WF WS YE YT ZA ZM ZW
""".split()

# ITU-T E.212 mobile country code -> region, as the application has always shipped it.
MCC_REGIONS = """
202 GR 204 NL 206 BE 208 FR 212 MC 213 AD 214 ES 216 HU 218 BA 219 HR 220 RS 222 IT 225 VA
226 RO 228 CH 230 CZ 231 SK 232 AT 234 GB 235 GB 238 DK 240 SE 242 NO 244 FI 246 LT 247 LV
248 EE 250 RU 255 UA 257 BY 259 MD 260 PL 262 DE 266 GI 268 PT 270 LU 272 IE 274 IS 276 AL
278 MT 280 CY 282 GE 283 AM 284 BG 286 TR 288 FO 290 GL 292 SM 293 SI 294 MK 295 LI 297 ME
302 CA 308 PM 310 US 311 US 312 US 313 US 314 US 315 US 316 US 330 PR 332 VI 334 MX 338 JM
340 GP 342 BB 344 AG 346 KY 348 VG 350 BM 352 GD 354 MS 356 KN 358 LC 360 VC 362 BQ 363 AW
364 BS 365 AI 366 DM 368 CU 370 DO 372 HT 374 TT 376 TC 400 AZ 401 KZ 402 BT 404 IN 405 IN
410 PK 412 AF 413 LK 414 MM 415 LB 416 JO 417 SY 418 IQ 419 KW 420 SA 421 YE 422 OM 423 PS
424 AE 425 IL 426 BH 427 QA 428 MN 429 NP 430 AE 431 AE 432 IR 434 UZ 436 TJ 437 KG 438 TM
440 JP 441 JP 450 KR 452 VN 454 HK 455 MO 456 KH 457 LA 460 CN 466 TW 467 KP 470 BD 472 MV
502 MY 505 AU 510 ID 514 TL 515 PH 520 TH 525 SG 528 BN 530 NZ 534 MP 535 GU 536 NR 537 PG
539 TO 540 SB 541 VU 542 FJ 543 WF 544 AS 545 KI 546 NC 547 PF 548 CK 549 WS 550 FM 551 MH
552 PW 553 NU 602 EG 603 DZ 604 MA 605 TN 606 LY 607 GM 608 SN 609 MR 610 ML 611 GN 612 CI
613 BF 614 NE 615 TG 616 BJ 617 MU 618 LR 619 SL 620 GH 621 NG 622 TD 623 CF 624 CM 625 CV
626 ST 627 GQ 628 GA 629 CG 630 CD 631 AO 632 GW 633 SC 634 SD 635 RW 636 ET 637 SO 638 DJ
639 KE 640 TZ 641 UG 642 BI 643 MZ 645 ZM 646 MG 647 RE 648 ZW 649 NA 650 MW 651 LS 652 BW
653 SZ 654 YT 655 ZA 657 ER 659 SS 702 BZ 704 GT 706 SV 708 HN 710 NI 712 CR 714 PA 716 PE
722 AR 724 BR 730 CL 732 CO 734 VE 736 BO 738 GY 740 EC 742 GF 744 PY 746 SR 748 UY 750 FK
999 AX
""".split()
MCC_SN = list(zip(MCC_REGIONS[0::2], MCC_REGIONS[1::2]))

# Rows whose values the application's number rules were tuned to; they win over the
# library. India's library pattern also admits numbers beginning with 6.
OVERRIDES = {
    "DE": {"numc": "7,8,9,10,11,12"},
    "IN": {"r1": r"[789]\d{9}"},
    "RU": {"r1": r"9\d{9}"},
}

# iso-codes lacks Ascension Island (not an ISO 3166-1 country).
EXTRA_NAMES = {"AC": "Ascension Island"}


def english_names():
    with open("/usr/share/iso-codes/json/iso_3166-1.json", encoding="utf-8") as f:
        entries = json.load(f)["3166-1"]
    names = {e["alpha_2"]: e.get("common_name", e["name"]) for e in entries}
    names.update(EXTRA_NAMES)
    return names


class Icu:
    """The region's name in its own most likely language, from ICU's CLDR data."""

    def __init__(self):
        lib = ctypes.CDLL("libicuuc.so.72")
        self.likely = lib.uloc_addLikelySubtags_72
        self.likely.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32, ctypes.POINTER(ctypes.c_int)]
        self.display = lib.uloc_getDisplayCountry_72
        self.display.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_void_p, ctypes.c_int32,
                                 ctypes.POINTER(ctypes.c_int)]

    def native_name(self, sn):
        status = ctypes.c_int(0)
        locale = ctypes.create_string_buffer(157)
        self.likely(("und_" + sn).encode(), locale, len(locale), ctypes.byref(status))
        if status.value > 0:
            raise RuntimeError(f"ICU has no likely locale for {sn}")
        text = (ctypes.c_uint16 * 256)()
        status = ctypes.c_int(0)
        length = self.display(locale.value, locale.value, text, len(text), ctypes.byref(status))
        if status.value > 0:
            raise RuntimeError(f"ICU has no name for {sn}")
        return bytes(text)[: 2 * length].decode("utf-16-le")


def joined(values):
    return ",".join(str(v) for v in values)


def country_row(sn, names, icu, mccs):
    meta = PhoneMetadata.metadata_for_region(sn)
    if meta is None or meta.mobile is None or not meta.mobile.national_number_pattern:
        raise RuntimeError(f"no mobile numbering data for {sn}")
    lengths = meta.mobile.possible_length or meta.general_desc.possible_length
    formats = meta.number_format
    row = {
        "sn": sn,
        "ln": icu.native_name(sn),
        "pnum": str(meta.country_code),
        "mmc": joined(sorted(mccs.get(sn, []))),
        "numc": joined(n for n in lengths if n > 0),
        "u2": meta.national_prefix or "",
        "r1": meta.mobile.national_number_pattern,
        "r2": ";".join(f.pattern for f in formats),
        "r3": ";".join(f.format for f in formats),
        "r4": ";".join(f.leading_digits_pattern[-1] if f.leading_digits_pattern else "" for f in formats),
        "mnc_rx": meta.international_prefix or "",
        "n": names[sn],
    }
    row.update(OVERRIDES.get(sn, {}))
    return row


def sql_text(value):
    return "'" + value.replace("'", "''") + "'"


COLUMNS = ["sn", "ln", "pnum", "mmc", "numc", "u2", "r1", "r2", "r3", "r4", "mnc_rx", "n"]

SCHEMA = """\
CREATE TABLE countries(sn CHAR(2) PRIMARY KEY, ln TEXT, pnum TEXT, mmc TEXT, numc TEXT, u2 TEXT, r1 TEXT, r2 TEXT, r3 TEXT, r4 TEXT, mnc_rx TEXT, n TEXT);
CREATE INDEX index_countries_pnum ON countries(pnum);
CREATE TABLE mmc_sn(mmc CHAR(3) PRIMARY KEY, sn CHAR(2));
CREATE INDEX index_mmc_sn ON mmc_sn(sn);
"""


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "countries.sql")

    assert len(REGIONS) == len(set(REGIONS)) == 242
    assert len(MCC_SN) == len({m for m, _ in MCC_SN}) == 235
    mccs = {}
    for mcc, sn in MCC_SN:
        assert sn in REGIONS, sn
        mccs.setdefault(sn, []).append(mcc)

    names = english_names()
    icu = Icu()
    lines = ["-- Generated by scripts/gen-countries.py; edit that script, not this file.",
             "BEGIN TRANSACTION;", SCHEMA.rstrip("\n")]
    for sn in REGIONS:
        row = country_row(sn, names, icu, mccs)
        values = ",".join(sql_text(row[c]) for c in COLUMNS)
        lines.append(f"INSERT INTO countries({','.join(COLUMNS)}) VALUES({values});")
    for mcc, sn in MCC_SN:
        lines.append(f"INSERT INTO mmc_sn(mmc,sn) VALUES('{mcc}','{sn}');")
    lines.append("COMMIT;")
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
