// The master data every test that talks to the stand-in starts from: two
// clients in two schemas and two more for long and ambiguous schemas,
// badge assignments with every kind of validity, booking codes with and
// without a type and a mapping, and zones with and without a number. One
// batch, so it can be run at start or into a running server alike.
#pragma once

namespace testsupport {

inline constexpr const char* kMasterData = R"sql(
INSERT INTO KRIVAX.KVX112MND (MndLiz, MndNum, MndSch) VALUES (1, 10, 'MANDANT_A')
INSERT INTO KRIVAX.KVX112MND (MndLiz, MndNum, MndSch) VALUES (2, 20, 'MANDANT_B')
INSERT INTO KRIVAX.KVX112MND (MndLiz, MndNum, MndSch) VALUES (1, 11, 'SCHEMA_NAME_OF_25_CHARSXY')
INSERT INTO KRIVAX.KVX112MND (MndLiz, MndNum, MndSch) VALUES (1, 12, 'MANDANT_C')
INSERT INTO KRIVAX.KVX301ASW (AswNum, AswPnr, AswLiz, AswMnd, AswGvo, AswGbi) VALUES ('4711', '1001', 1, 10, convert(DATETIME, '2009-01-01 00:00:00', 120), NULL)
INSERT INTO KRIVAX.KVX301ASW (AswNum, AswPnr, AswLiz, AswMnd, AswGvo, AswGbi) VALUES ('4712', '1002', 1, 10, NULL, convert(DATETIME, '2009-07-15 00:00:00', 120))
INSERT INTO KRIVAX.KVX301ASW (AswNum, AswPnr, AswLiz, AswMnd, AswGvo, AswGbi) VALUES ('4713', '2001', 2, 20, convert(DATETIME, '2009-07-01 00:00:00', 120), convert(DATETIME, '2009-07-31 00:00:00', 120))
INSERT INTO KRIVAX.KVX301ASW (AswNum, AswPnr, AswLiz, AswMnd, AswGvo, AswGbi) VALUES ('4714', '2002', 2, 20, NULL, NULL)
INSERT INTO KRIVAX.KVX301ASW (AswNum, AswPnr, AswLiz, AswMnd, AswGvo, AswGbi) VALUES ('4715', '1003', 1, 10, convert(DATETIME, '2009-07-16 00:00:00', 120), NULL)
INSERT INTO KRIVAX.KVX301ASW VALUES ('100', 'P100', 1, 10, '2009-07-15', NULL)
INSERT INTO KRIVAX.KVX301ASW VALUES ('101', 'P101', 1, 10, '2009-07-16', NULL)
INSERT INTO KRIVAX.KVX301ASW VALUES ('102', 'P102', 1, 10, NULL, '2009-07-15 23:59:00')
INSERT INTO KRIVAX.KVX301ASW VALUES ('103', 'P103', 1, 10, NULL, NULL)
INSERT INTO KRIVAX.KVX301ASW VALUES ('104', 'P123456789', 1, 11, '2009-01-01', '2009-12-31')
INSERT INTO KRIVAX.KVX301ASW VALUES ('105', NULL, 1, 10, '2009-01-01', NULL)
INSERT INTO KRIVAX.KVX301ASW VALUES ('106', 'P106A', 1, 10, '2009-01-01', NULL)
INSERT INTO KRIVAX.KVX301ASW VALUES ('106', 'P106B', 1, 12, '2009-01-01', NULL)
INSERT INTO KRIVAX.KVX301ASW VALUES ('O''Neil', 'P107', 1, 10, '2009-01-01', NULL)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('001', 3)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('002', 12345)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('003', -3)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('004', 7)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('005', 8)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('006', 1)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('K1', -3)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('K2', NULL)
INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('K3', 3)
INSERT INTO Kvx131FcdUeb (FcdOld, FcdNew) VALUES ('004', '044')
INSERT INTO Kvx131FcdUeb (FcdOld, FcdNew) VALUES ('005', NULL)
INSERT INTO Kvx131FcdUeb (FcdOld, FcdNew) VALUES ('006', 'ABCD')
INSERT INTO Kvx131FcdUeb (FcdOld, FcdNew) VALUES ('K1', 'K1N')
INSERT INTO Kvx131FcdUeb (FcdOld, FcdNew) VALUES ('K2', NULL)
INSERT INTO Krivax.Kvx405Zzs (ZzsTcd, ZzsNum) VALUES ('712', 31)
INSERT INTO Krivax.Kvx405Zzs (ZzsTcd, ZzsNum) VALUES ('719', NULL)
)sql";

}  // namespace testsupport
