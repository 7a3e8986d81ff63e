// Dirichlet-mixture prior libraries and transition priors.
//
// A prior library is N Dirichlet components over K letters with mixture coefficients. Its text
// form is read as white-space separated words:
//   Name= m41   AlphaChar= 3   NumDistr= 2
//   Number= 0  Mixture= 0.6  Alpha= 3.0 1.0 1.0 1.0
//   Number= 1  Mixture= 0.4  Alpha= 0.3 0.1 0.1 0.1
// where the first value after "Alpha=" is the component's total.
#include "models/prior.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "models/codon.h"
#include "sequences/hssp.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/output_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"
#include "sequences/model_records.h"

// ---------------------------------------------------------------------------------------------
// Built-in mixtures
// ---------------------------------------------------------------------------------------------

// PRIOR_PROTEIN20: 20 components over 20 letters
static const double PRIOR_PROTEIN20_MIX[20] = {0.176513, 0.023539, 0.057044, 0.02959,  0.071476,
                                               0.041294, 0.022684, 0.04765,  0.057127, 0.026567,
                                               0.05889,  0.057173, 0.062338, 0.016918, 0.016851,
                                               0.065116, 0.014503, 0.066597, 0.054725, 0.033405};
static const double PRIOR_PROTEIN20_DISTR[20][21] = {
    {10.132880, 0.668781, 0.072626,  1.08101,  0.175188, 0.153589, 0.854281,
     0.274126,  0.51432,  0.103353,  0.731275, 1.45628,  1.64054,  0.0475389,
     0.765645,  0.254277, 0.0591997, 0.50327,  0.214701, 1e-06,    0.562878},
    {10.129327, 0.0341633, 1e-06,    0.972611,  0.322474, 1.27554,  0.624447,
     0.699211,  0.264286,  0.667586, 0.0362928, 0.322718, 1.80339,  1e-06,
     0.0162259, 0.121,     0.616492, 0.175675,  1.52202,  0.517239, 0.137954},
    {85.144642, 26.8448, 2.03198,  0.00256179, 0.00838773, 2.1803,   1.0797,
     1e-06,     8.40794, 2.7601,   0.628213,   3.98078,    0.139121, 5.71534,
     14.6782,   1.64221, 0.981455, 1e-06,      1.75015,    1e-06,    12.3134},
    {76.712939, 1e-06,    6.65594, 11.6883, 0.623779, 2.61929,  2.16728,
     3.48812,   4.09297,  5.31406, 4.55197, 1.36188,  0.938925, 6.18034,
     11.308,    0.752882, 1e-06,   2.57501, 6.64013,  5.0468,   0.707261},
    {1.725149,  0.10641,   0.143035, 1e-06,    0.0139486, 0.139408,  1e-06,
     0.0538116, 0.0378319, 1e-06,    0.18039,  0.311989,  0.0618287, 0.0104982,
     0.14459,   0.140224,  0.087076, 0.120849, 0.089736,  1e-06,     0.0835192},
    {79.370996, 1.82648,  0.798574, 3.95897, 8.44085, 3.89186, 12.5817,
     1.68602,   2.18932,  1.85041,  1e-06,   12.9445, 1.92841, 1e-06,
     16.4785,   0.990082, 0.574007, 1.40189, 1e-06,   6.2915,  1.53792},
    {97.326383, 0.0334818, 4.2659,  1e-06,    2.62268, 4.02908, 4.03251,
     1.07451,   1e-06,     10.7105, 0.518709, 13.6598, 4.7955,  0.261769,
     18.2708,   2.12971,   8.21788, 6.23571,  13.0934, 3.37444, 1e-06},
    {72.902120, 7.16703, 4.84136,  2.32458, 2.58162, 9.17348,    4.64754,
     6.12992,   1.09028, 0.784683, 1e-06,   4.62051, 0.00504676, 1.45356,
     0.710176,  2.20188, 7.76775,  5.70889, 5.6525,  5.55358,    0.487733},
    {121.205235, 0.722065, 1.3024,   2.14809, 1.27441, 7.29324, 13.6459,
     0.076446,   1e-06,    21.5776,  6.14509, 15.5806, 9.16142, 0.7285,
     1.55842,    1.37529,  0.888542, 2.93895, 33.6723, 1e-06,   1.11597},
    {2.267438,  0.0623633, 0.112541,   0.00206891, 0.0149493, 0.551468,  0.241353,
     0.0100125, 0.1654,    0.0515277,  0.00764046, 1e-06,     0.0228066, 0.00246303,
     0.293351,  0.0085937, 0.00434369, 0.0118572,  0.358185,  0.346512,  1e-06},
    {59.274817, 2.83108, 7.22022, 4.90783,  0.861453, 11.4724, 3.28294,
     7.43596,   3.48596, 3.923,   1e-06,    2.90038,  2.77759, 0.577433,
     1.0077,    2.93161, 1e-06,   0.792446, 0.166073, 1.16844, 1.5323},
    {10.017863, 1e-06,    0.758008, 0.0382212, 0.0226297, 0.204985, 1.26357,
     0.044334,  0.137793, 0.288248, 0.523783,  1.48331,   0.617154, 0.0160521,
     1.54843,   0.594673, 0.501063, 0.770547,  0.0756313, 1.01292,  0.11651},
    {17.124173, 1.30235, 1.64096,   1.82885,  1.60093, 1.25357, 0.21875,
     1.57077,   1e-06,   0.0149266, 2.19763,  1.21559, 1e-06,   0.466099,
     0.835254,  1.29574, 0.0299024, 0.133841, 1e-06,   1.49098, 0.028027},
    {2.262863,   0.00131079, 0.0645028, 1e-06,     0.0908134,  0.46817,    0.0207614,
     0.00276233, 0.335533,   1e-06,     0.117462,  0.476832,   0.00410162, 0.0164913,
     0.0430016,  0.100704,   0.43356,   0.0628994, 0.00431879, 0.0196359,  1e-06},
    {24.087692, 1.21426,  0.240894,  0.135898, 9.31123,  2.00214,   1e-06,
     1.18275,   1.47234,  0.0736369, 0.177025, 1.09215,  0.374715,  0.936886,
     1.36718,   0.773323, 0.782302,  1.10157,  0.353611, 0.0048004, 1.49098},
    {5.110900,  0.0633079, 0.0410637, 0.0710159, 0.121813,  0.0607814,  0.105704,
     0.355819,  0.286225,  0.802454,  0.989942,  0.0816557, 1.03895,    0.335982,
     0.0081108, 0.2209,    0.0283824, 0.0369458, 0.459342,  0.00250414, 1e-06},
    {1.608164,   0.138406,  0.219612,   0.0421758, 0.205195,  0.0252326, 0.410637,
     0.00168181, 1e-06,     0.0454302,  0.107175,  0.0245377, 0.107009,  0.0289051,
     1e-06,      0.0489146, 0.00131832, 0.0541826, 0.0794568, 1e-06,     0.0682915},
    {13.313121, 0.662801, 0.314854, 1e-06,     0.468654, 0.508088, 0.944687,
     1.79333,   0.848779, 1.01369,  0.0253737, 0.114008, 2.01398,  0.753327,
     0.014298,  1.27421,  1.11911,  0.0185736, 0.84644,  0.206387, 0.37253},
    {14.990589, 0.2283,  0.3527,   2.64053,    2.68364, 0.550355,  0.123546,
     0.0152195, 1.79674, 1.22711,  0.00261617, 1.33708, 0.0155768, 1e-06,
     0.0849916, 2.21603, 0.296292, 1e-06,      1e-06,   1.41258,   0.00727902},
    {22.122957, 0.550563,  1.56723,  0.00405674, 0.449211, 2.26156,  1e-06,
     0.218219,  0.0823143, 0.580929, 0.309209,   1.21149,  5.10979,  2.52364,
     2.61125,   0.156393,  0.825827, 2.12092,    0.610863, 0.755255, 0.174236},
};
// PRIOR_PROTEIN32: 32 components over 20 letters
static const double PRIOR_PROTEIN32_MIX[32] = {
    0.079773, 0.02282,  0.01592,  0.023959, 0.02034,  0.02003,  0.012143, 0.035783,
    0.005146, 0.061692, 0.005151, 0.004019, 0.040791, 0.015355, 0.036762, 0.032489,
    0.037773, 0.039536, 0.037226, 0.031457, 0.023045, 0.053208, 0.016286, 0.035466,
    0.055022, 0.037488, 0.005945, 0.050498, 0.058626, 0.036572, 0.014959, 0.03472};
static const double PRIOR_PROTEIN32_DISTR[32][21] = {
    {1017.395081, 57.9247, 19.7978,  58.2151, 43.3302, 49.3471, 8.78394,
     3.00285,     1e-06,   1e-06,    150.745, 18.1759, 166.88,  155.682,
     38.7066,     13.5988, 0.035238, 17.2061, 189.917, 25.9664, 0.080351},
    {2672.133372, 378.304, 1e-06,   25.5196, 3.03344, 1e-06,   34.5061,
     28.0588,     4.71563, 135.412, 214.198, 103.964, 430.969, 534.607,
     29.729,      2.7288,  119.629, 187.482, 408.508, 17.8358, 12.9332},
    {353.224984, 13.0123,  1.22939, 89.8185, 11.7889,  5.02198, 1e-06,
     7.42944,    0.103504, 1e-06,   15.4859, 8.47885,  3.34531, 9.62959,
     0.0953303,  63.5908,  65.1823, 5.24063, 0.373958, 20.6195, 32.7788},
    {445.891544, 1e-06,   1.642,   128.641,  1e-06,   7.90059, 26.428,
     56.4838,    6.94199, 45.3599, 99.4428,  20.3131, 5.19527, 14.356,
     0.718329,   4.95544, 1e-06,   0.809342, 19.3344, 0.10033, 7.26925},
    {110.430255, 5.82302,  3.44427, 9.11798,  10.3092, 1.69006,  2.11347,
     3.08847,    2.00291,  2.27626, 2.66027,  4.24505, 0.548854, 23.2479,
     7.63411,    0.815889, 6.39018, 0.143142, 5.2158,  19.0074,  0.65602},
    {767.351272, 5.25215, 133.073, 34.9894, 22.548,  4.63773, 47.5552,
     21.4032,    40.0707, 14.392,  20.7743, 132.087, 1e-06,   37.9574,
     18.6658,    10.6449, 119.407, 8.49009, 19.923,  75.4804, 1e-06},
    {61.593607, 1.82347,  2.26602, 0.527811, 0.845676, 2.08387,  0.225757,
     0.269531,  0.466612, 28.3959, 4.68251,  1e-06,    0.824168, 4.6018,
     0.145905,  4.99176,  1e-06,   2.11246,  0.400187, 6.16717,  0.762998},
    {47.566007, 3.18472,  2.73455, 2.51663,  1.98477, 12.0741, 2.71998,
     1.11161,   1.44384,  3.19067, 0.407138, 0.94056, 0.65645, 1.25843,
     6.86205,   0.146639, 1e-06,   0.797089, 1.88345, 3.30554, 0.34779},
    {1888.004889, 561.673, 23.404,  1e-06,   11.4013, 42.5443, 1e-06,
     0.0463162,   3.47235, 126.732, 61.8818, 43.1915, 197.867, 31.1205,
     24.5994,     3.87522, 1e-06,   186.863, 61.4572, 236.208, 271.668},
    {231.786889, 14.2197,  0.00394137, 2.19805, 18.9811, 1e-06,   14.6432,
     26.7174,    52.6914,  13.6836,    20.1252, 1e-06,   1.25367, 11.3632,
     1e-06,      0.129065, 1.46496,    5.7674,  10.4873, 32.9889, 5.0688},
    {2102.826080, 87.2596, 48.7171, 194.286, 84.7323, 65.4635, 155.013,
     436.855,     37.3393, 16.6148, 80.586,  59.21,   14.7127, 9.45068,
     132.213,     330.86,  30.0774, 35.3162, 141.562, 12.2735, 130.284},
    {1855.396685, 5.97448, 16.4728, 553.47,  1e-06,   18.0744, 1e-06,
     69.0382,     78.8427, 1e-06,   29.6969, 177.015, 286.883, 91.983,
     123.484,     219.071, 1e-06,   1e-06,   27.7352, 46.431,  111.225},
    {2892.128541, 253.938, 342.671, 127.548,  135.41,  146.654, 97.8224,
     0.792199,    420.814, 250.74,  0.300802, 3.57284, 170.94,  14.8978,
     145.377,     187.364, 228.816, 86.4507,  27.615,  211.403, 39.0018},
    {58.016798, 0.611443, 1e-06,   0.543502, 0.505202, 0.574086, 0.299457,
     12.141,    7.72629,  5.26314, 1.95502,  1e-06,    0.228266, 19.5509,
     0.0639451, 0.842287, 2.02173, 1e-06,    0.228937, 3.51254,  1.94905},
    {505.658058, 136.957, 22.4431,  46.7673, 26.2285, 1e-06,   20.4807,
     7.57646,    8.5095,  0.828394, 113.54,  2.94207, 37.7831, 1e-06,
     1e-06,      48.5397, 22.1814,  6.25246, 2.87623, 1e-06,   1.75214},
    {47.018280, 1.63133, 0.115922,  4.36566, 0.250599, 0.343239, 1.54571,
     7.05013,   1e-06,   0.0919726, 1e-06,   1e-06,    4.20133,  4.21561,
     5.84434,   4.28237, 1.72618,   9.79374, 0.622664, 1e-06,    0.937479},
    {961.434575, 106.844, 81.4471, 12.0592, 155.217, 1e-06,   92.0388,
     2.76837,    1.25402, 5.41594, 139.247, 54.4722, 39.7056, 11.858,
     0.723633,   4.99433, 73.9751, 7.59978, 66.9415, 104.873, 1e-06},
    {246.261251, 8.31509, 15.3549, 4.92979, 22.4127, 0.0780994, 1.06687,
     36.7673,    2.93958, 26.8223, 3.81967, 8.93469, 0.460517,  39.5508,
     13.7965,    21.2755, 1.75252, 3.22392, 15.1549, 19.4573,   0.148305},
    {3471.627681, 343.518, 213.733, 202.458, 13.7338, 4.28524, 1034.21,
     4.83914,     276.365, 100.424, 39.9676, 541.147, 87.0867, 25.9164,
     1e-06,       14.563,  12.7983, 464.175, 31.2982, 29.4838, 31.6255},
    {294.420212, 35.1647, 4.46716, 4.67576, 34.7523, 5.2521,  6.13053,
     1e-06,      28.1323, 21.2546, 11.6797, 2.06236, 9.80281, 19.6453,
     1e-06,      82.2386, 1.60731, 18.5782, 6.08208, 1.10634, 1.78806},
    {73.292364, 13.3452,  0.855581,  0.292225, 6.17636, 2.29232,  0.0615264,
     3.10459,   8.42625,  7.03374,   1e-06,    14.5043, 0.114149, 0.552748,
     3.27274,   0.720025, 0.0472517, 4.15441,  3.09204, 0.696647, 4.55026},
    {85.480636, 0.773429, 7.2079,    3.17193,  1e-06,   21.4154, 2.36757,
     5.91447,   0.10171,  0.0270387, 0.687355, 2.26565, 6.24766, 7.03292,
     0.339452,  1.70633,  7.9418,    2.08101,  8.87154, 1.75906, 5.56841},
    {64.983331, 0.00685079, 2.44972,   1.73018,  5.70833,  1.81621, 6.92568,
     1.71904,   1.6914,     0.0782531, 3.50669,  0.177479, 5.00284, 0.948749,
     2.92076,   3.22129,    1.73445,   0.412649, 6.37172,  14.3212, 4.23984},
    {111.794668, 29.117,  0.0427919, 2.77023,   8.10959, 10.6767, 0.0269947,
     6.38142,    1.15076, 5.7996,    1.58467,   3.8078,  6.73903, 1.26546,
     3.3587,     11.3699, 1.05785,   0.0923917, 7.69306, 1.23498, 9.51574},
    {3234.745581, 1e-06,   163.457, 48.8858, 3.1344,  184.927, 59.4463,
     5.22316,     942.029, 350.772, 2.95212, 221.591, 128.336, 46.5431,
     27.0992,     64.4185, 146.891, 206.778, 105.423, 153.04,  373.799},
    {1570.750463, 1e-06,   1e-06,   40.0117, 3.33886, 0.00100871, 155.125,
     303.852,     11.852,  121.15,  79.4136, 1e-06,   25.8813,    11.2915,
     1e-06,       7.83269, 78.2738, 120.803, 168.62,  242.644,    200.66},
    {434.790686, 1.41849, 1e-06,   1e-06,   56.1101, 50.3054,  10.1192,
     33.2146,    59.6361, 8.46221, 46.8535, 42.4143, 33.426,   7.17235,
     1e-06,      17.2825, 10.9261, 46.8117, 7.9864,  0.964723, 1.68701},
    {263.291972, 9.39296, 9.94023,  3.50842,   9.74241, 30.3157, 9.83445,
     26.7951,    12.2448, 0.661981, 0.0863272, 11.7032, 15.9258, 1e-06,
     3.34221,    1.95197, 0.697513, 39.8115,   36.3037, 10.5965, 30.4372},
    {1663.541136, 1e-06,   27.1032,  35.5095, 272.261, 244.747, 2.1507,
     41.7785,     220.123, 0.988234, 133.834, 225.657, 1e-06,   143.638,
     25.0898,     1.93412, 10.9244,  9.99628, 30.0732, 215.373, 22.3602},
    {1240.397701, 94.1331, 33.0092, 31.3135, 79.8299, 4.71567, 87.4506,
     180.229,     64.5175, 1.89739, 159.22,  55.4675, 1e-06,   1.32124,
     50.3762,     95.8648, 15.6756, 47.356,  9.2174,  82.8011, 146.002},
    {43.634521, 0.435677, 0.242259, 1.28485, 0.296543, 0.475331, 4.37117,
     5.38035,   1.07125,  4.97735,  5.52387, 1.45699,  0.681808, 7.54331,
     2.99195,   0.12713,  2.29549,  3.33328, 0.705146, 1e-06,    0.440766},
    {2967.696580, 429.915, 93.7941, 22.8007, 116.363, 475.79,  68.0902,
     285.388,     54.346,  75.4547, 306.113, 194.785, 29.0396, 208.263,
     330.501,     21.4981, 69.9204, 2.96348, 135.311, 17.681,  29.6793},
};
// PRIOR_EHL2: 9 components over 3 letters
static const double PRIOR_EHL2_MIX[9] = {0.336744, 0.136954, 0.039728, 0.088308, 0.014187,
                                         0.075947, 0.095599, 0.120426, 0.092107};
static const double PRIOR_EHL2_DISTR[9][4] = {
    {67.185898, 13.2111, 28.2297, 25.7451},     {9.188789, 4.75958, 0.859249, 3.56996},
    {0.237902, 0.108719, 0.00258869, 0.126594}, {5.939931, 2.58585, 3.08339, 0.270691},
    {0.791702, 0.159934, 1e-06, 0.631767},      {33.899811, 1e-06, 6.84871, 27.0511},
    {37.948300, 13.6667, 3.3215, 20.9601},      {8.805782, 0.366622, 1.84854, 6.59062},
    {105.834746, 36.0111, 0.376146, 69.4475},
};
// PRIOR_EBGHTL: 6 components over 6 letters
static const double PRIOR_EBGHTL_MIX[6] = {0.414735, 0.035572, 0.115724,
                                           0.243589, 0.123069, 0.067311};
static const double PRIOR_EBGHTL_DISTR[6][7] = {
    {64.558540, 11.8325, 0.912388, 2.48175, 24.1202, 13.2032, 12.0085},
    {112.735770, 18.9517, 2.85179, 49.1592, 7.24778, 11.7579, 22.7674},
    {9.593067, 1.96038, 1.95597, 3.73421, 1e-06, 1.92602, 0.0164859},
    {5.440241, 0.235206, 2.00153, 1e-06, 0.579979, 0.868195, 1.75533},
    {46.543654, 1e-06, 1e-06, 42.9852, 1e-06, 3.55845, 1e-06},
    {3.624032, 1.9098, 1e-06, 0.0365489, 1.27556, 1e-06, 0.402121},
};

// One built-in mixture: its tables, names and letter count.
struct BuiltinMixture {
    const char *name;
    const char *file_name;
    int N;
    int K;
    const double *mix;
    const double *distr;  // N rows of K+1
};

static const BuiltinMixture BUILTIN_MIXTURES[] = {
    {"quarn3.20comp", "quarn3.20comp", 20, 20, PRIOR_PROTEIN20_MIX, &PRIOR_PROTEIN20_DISTR[0][0]},
    {"volta-comp2.32comp", "volta-comp2.32comp.gen", 32, 20, PRIOR_PROTEIN32_MIX,
     &PRIOR_PROTEIN32_DISTR[0][0]},
    {"m41-2d-comp.9comp", "m41-2d-comp.9comp.gen", 9, 3, PRIOR_EHL2_MIX, &PRIOR_EHL2_DISTR[0][0]},
    {"m41-ebghtl-comp.6comp", "m41-ebghtl-comp.6comp.gen", 6, 6, PRIOR_EBGHTL_MIX,
     &PRIOR_EBGHTL_DISTR[0][0]},
};

static PriorLib *builtin_library(const BuiltinMixture &b) {
    PriorLib *lib = alloc_PriorLib(b.N, b.K, b.name, b.file_name);
    for (int c = 0; c < b.N; c++) {
        lib->Mix[c] = b.mix[c];
        for (int j = 0; j <= b.K; j++) lib->Distr[c][j] = b.distr[(size_t)c * (b.K + 1) + j];
    }
    return lib;
}

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

static char *copy_or_null(const char *text) {
    return (text && *text) ? str_dup(text) : nullptr;
}

PriorLib *alloc_PriorLib(int N, int K, const char *name, const char *file_name) {
    if (N < 0 || K < 0) error("alloc_PriorLib: %d components over %d letters", N, K);
    PriorLib *lib = static_cast<PriorLib *>(mem_alloc(sizeof(PriorLib)));
    lib->AlphaChar = K;
    lib->NumDistr = N;
    lib->Name = copy_or_null(name);
    lib->FileName = copy_or_null(file_name);
    lib->Mix = static_cast<double *>(mem_alloc((size_t)N * sizeof(double)));
    lib->Distr = static_cast<double **>(mem_alloc((size_t)N * sizeof(double *)));
    for (int c = 0; c < N; c++)
        lib->Distr[c] = static_cast<double *>(mem_alloc(((size_t)K + 1) * sizeof(double)));
    lib->logBeta = static_cast<double *>(mem_alloc((size_t)N * sizeof(double)));
    return lib;
}

void free_PriorLib(PriorLib **lib) {
    if (!lib || !*lib) return;
    PriorLib *p = *lib;
    for (int c = 0; c < p->NumDistr; c++) std::free(p->Distr[c]);
    std::free(p->Mix);
    std::free(p->Distr);
    std::free(p->logBeta);
    std::free(p->Name);
    std::free(p->FileName);
    std::free(p);
    *lib = nullptr;
}

PriorLib *genproteinprior() {
    return builtin_library(BUILTIN_MIXTURES[PRIOR_BUILTIN_PROTEIN32 - 1]);
}

// ---------------------------------------------------------------------------------------------
// Reading the text form
// ---------------------------------------------------------------------------------------------

// White-space separated words of a file, with the line each came from. The stream is the
// scanner's: a fatal error thrown to a test harness still closes it (close_scanner otherwise).
struct WordScanner {
    FILE *fp = nullptr;
    InputReader reader;
    const char *name;  // the name in messages
    char *line = nullptr;
    size_t length = 0;
    size_t pos = 0;
    std::string word;
    long line_number = 0;
    ~WordScanner() {
        if (!fp) return;
        reader_free(&reader);
        close_read(fp);
    }
};

static void close_scanner(WordScanner *ws) {
    reader_free(&ws->reader);
    FILE *fp = ws->fp;
    ws->fp = nullptr;
    close_read(fp);
}

static bool next_word(WordScanner *ws) {
    for (;;) {
        while (ws->line && ws->pos < ws->length && is_space(ws->line[ws->pos])) ws->pos++;
        if (ws->line && ws->pos < ws->length) break;
        if (!reader_line(&ws->reader, &ws->line, &ws->length)) {
            ws->line = nullptr;
            return false;
        }
        ws->pos = 0;
    }
    size_t start = ws->pos;
    while (ws->pos < ws->length && !is_space(ws->line[ws->pos]) && ws->line[ws->pos] != '\0')
        ws->pos++;
    if (ws->pos == start) ws->pos++;  // a NUL byte: skip it
    ws->line_number = ws->reader.line_number;
    if (ws->pos - start > (size_t)PRIOR_MAX_WORD)
        error("%s(%ld): word longer than %d characters in prior library",
              shown_text(ws->name).c_str(), ws->line_number, PRIOR_MAX_WORD);
    ws->word.assign(ws->line + start, ws->pos - start);
    return true;
}

// Splits a word into its keyword (before the first '=') and what follows the '='.
static std::string word_key(const std::string &word, bool *has_eq, std::string *rest) {
    size_t eq = word.find('=');
    *has_eq = eq != std::string::npos;
    if (rest) *rest = *has_eq ? word.substr(eq + 1) : std::string();
    return *has_eq ? word.substr(0, eq) : word;
}

static bool is_keyword(const std::string &word, const char *keyword, bool *has_eq,
                       std::string *rest) {
    std::string key = word_key(word, has_eq, rest);
    return !key.empty() && capscomp(key.c_str(), keyword) == 0;
}

// The value that follows a keyword: the text attached after its '=', else the next word (after
// a lone "=", or without a leading '='). False at the end of the file.
static bool keyword_value(WordScanner *ws, const std::string &attached, std::string *value) {
    if (!attached.empty()) {
        *value = attached;
        return true;
    }
    if (!next_word(ws)) return false;
    if (ws->word == "=") {
        if (!next_word(ws)) return false;
    }
    *value = ws->word[0] == '=' ? ws->word.substr(1) : ws->word;
    return true;
}

static double parse_number(WordScanner *ws, const std::string &text) {
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    // The whole word must be the number: a NUL byte (a word of its own) reads as nothing.
    if (end != s + text.size() || end == s || !std::isfinite(v))
        error("%s(%ld): \"%s\" is not a number in prior library", shown_text(ws->name).c_str(),
              ws->line_number, shown_text(s).c_str());
    return v;
}

static int parse_count(WordScanner *ws, const std::string &text, const char *what) {
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v > INT_MAX || v < INT_MIN)
        error("%s(%ld): \"%s\" is not a count (%s) in prior library", shown_text(ws->name).c_str(),
              ws->line_number, shown_text(s).c_str(), what);
    if (v <= 0)
        error("%s(%ld): %s must be positive in prior library (%ld)", shown_text(ws->name).c_str(),
              ws->line_number, what, v);
    return (int)v;
}

// Sum of the values in single precision, every partial sum rounded.
static float float_sum(const double *v, int n) {
    float sum = 0.0f;
    for (int i = 0; i < n; i++) sum = (float)(sum + (float)v[i]);
    return sum;
}

// Skips words up to the keyword; false at the end of the file.
static bool skip_to_keyword(WordScanner *ws, const char *keyword, bool *has_eq, std::string *rest) {
    while (next_word(ws))
        if (is_keyword(ws->word, keyword, has_eq, rest)) return true;
    return false;
}

// Reads one component (coefficient, then K+1 values) into mix and vec; false when the file
// ends before it is complete.
static bool read_component(WordScanner *ws, int K, double *mix, double *vec) {
    bool has_eq;
    std::string rest, value;
    if (!skip_to_keyword(ws, "Number", &has_eq, &rest)) return false;
    if (!skip_to_keyword(ws, "Mixture", &has_eq, &rest)) return false;
    if (!keyword_value(ws, rest, &value)) return false;
    *mix = parse_number(ws, value);
    if (*mix < 0.0)
        error("%s(%ld): negative mixture coefficient %g in prior library",
              shown_text(ws->name).c_str(), ws->line_number, *mix);
    if (!skip_to_keyword(ws, "Alpha", &has_eq, &rest)) return false;
    // After "Alpha" everything up to and including the next '=' is skipped.
    while (!has_eq) {
        if (!next_word(ws)) return false;
        size_t eq = ws->word.find('=');
        if (eq != std::string::npos) {
            has_eq = true;
            rest = ws->word.substr(eq + 1);
        }
    }
    for (int j = 0; j <= K; j++) {
        if (j == 0 && !rest.empty()) {
            value = rest;
        } else {
            if (!next_word(ws)) return false;
            value = ws->word;
        }
        vec[j] = parse_number(ws, value);
        if (j > 0 && !(vec[j] > 0.0))
            error("%s(%ld): Dirichlet parameter %g is not positive in prior library",
                  shown_text(ws->name).c_str(), ws->line_number, vec[j]);
    }
    float sum = float_sum(vec + 1, K);
    if (!std::isfinite(sum))
        error("%s(%ld): Dirichlet parameters sum beyond single precision in prior library",
              shown_text(ws->name).c_str(), ws->line_number);
    if ((float)vec[0] != sum) vec[0] = sum;
    return true;
}

// The report line and coefficient check shared by files and built-ins.
static void finish_library(PriorLib *lib, FILE *report) {
    int N = lib->NumDistr;
    if (report)
        std::fprintf(report, "%%   %d prior%s on %d characters.\n", N,
                     (N == 1 || N == -1) ? "" : "s", lib->AlphaChar);
    float sum = float_sum(lib->Mix, N);
    if (std::fabs(sum - 1.0) > PRIOR_MIX_TOLERANCE) {
        if (report)
            std::fprintf(report,
                         "%% The mixture coefficients summed to %f, and were renormalized\n",
                         (double)sum);
        // Coefficients too small or too large for single precision are divided by their
        // double-precision sum instead of 0 or infinity.
        double divisor = sum;
        if (!(sum > 0.0f) || !std::isfinite(sum)) {
            divisor = 0.0;
            for (int c = 0; c < N; c++) divisor += lib->Mix[c];
        }
        for (int c = 0; c < N; c++) lib->Mix[c] /= divisor;
    }
}

static PriorLib *read_prior_file(const char *name, const char *default_dir, FILE *report,
                                 int expected_K) {
    if (report) std::fputs("% Prior File: ", report);
    FILE *fp = open_read_env(name, PRIOR_PATH_VARIABLE, default_dir, nullptr, report, OPEN_QUIET);
    if (!fp) {
        if (report) std::fputc('\n', report);
        std::fprintf(stderr,
                     "Warning:  Prior library %s not found in current directory\nor in "
                     "$PRIOR_PATH %s/%s",
                     shown_text(name).c_str(), shown_text(default_dir).c_str(),
                     shown_text(name).c_str());
        std::fputs(".  Using single-component regularizer.\n", stderr);
        return nullptr;
    }
    WordScanner ws;
    ws.name = name;
    reader_init(&ws.reader, fp, name);
    ws.fp = fp;

    // Header: the name and both counts, in any order.
    int K = 0, N = 0;
    std::string lib_name, rest, value;
    bool has_eq;
    while (K == 0 || N == 0) {
        if (!next_word(&ws))
            error("File %s does not appear to be a prior library.", shown_text(name).c_str());
        bool is_name = is_keyword(ws.word, "Name", &has_eq, &rest);
        bool is_k = !is_name && is_keyword(ws.word, "AlphaChar", &has_eq, &rest);
        bool is_n = !is_name && !is_k && is_keyword(ws.word, "NumDistr", &has_eq, &rest);
        if (!is_name && !is_k && !is_n) continue;
        if (!keyword_value(&ws, rest, &value))
            error("File %s does not appear to be a prior library.", shown_text(name).c_str());
        if (is_name)
            lib_name = value;
        else if (is_k)
            K = parse_count(&ws, value, "AlphaChar");
        else
            N = parse_count(&ws, value, "NumDistr");
    }

    if (K != expected_K) {
        std::fprintf(stderr, "Prior library is for %d characters but alphabet has %d\n", K,
                     expected_K);
        std::fprintf(stderr, "Ignoring prior library %s.\n", shown_text(name).c_str());
        if (report)
            std::fprintf(report, "%% Prior library ignored:  alphabet mismatch (%d vs %d).\n", K,
                         expected_K);
        close_scanner(&ws);
        return nullptr;
    }
    if (report) std::fprintf(report, "(Name: %s)\n", lib_name.c_str());

    // Components are gathered first, so a count far beyond the file's contents costs nothing.
    std::vector<double> mix, distr;
    std::vector<double> vec((size_t)K + 1);
    for (int c = 0; c < N; c++) {
        double m = 0.0;
        if (!read_component(&ws, K, &m, vec.data()))
            error("Error in reading prior library %s.\n%d components read--expecting %d.",
                  shown_text(name).c_str(), c, N);
        mix.push_back(m);
        distr.insert(distr.end(), vec.begin(), vec.end());
    }
    close_scanner(&ws);

    double mix_sum = 0.0;
    for (double m : mix) mix_sum += m;
    if (!(mix_sum > 0.0) || !std::isfinite(mix_sum))
        error("File %s: the mixture coefficients of the prior library sum to %g",
              shown_text(name).c_str(), mix_sum);

    PriorLib *lib = alloc_PriorLib(N, K, lib_name.c_str(), name);
    for (int c = 0; c < N; c++) {
        lib->Mix[c] = mix[(size_t)c];
        std::memcpy(lib->Distr[c], &distr[(size_t)c * (K + 1)], ((size_t)K + 1) * sizeof(double));
    }
    return lib;
}

PriorLib *read_PriorLib(const char *name, const char *default_dir, FILE *report, int expected_K,
                        int selector) {
    PriorLib *lib = nullptr;
    if (name && *name) {
        lib = read_prior_file(name, default_dir, report, expected_K);
        if (!lib) return nullptr;
    } else {
        if (selector < PRIOR_BUILTIN_PROTEIN20 || selector > PRIOR_BUILTIN_EBGHTL) return nullptr;
        if (selector == PRIOR_BUILTIN_PROTEIN20 &&
            !(alphabet &&
              (alphabet->id == PROTEIN_ALPHABET_ID || alphabet->id == CODON_ALPHABET_ID)))
            return nullptr;
        const BuiltinMixture &b = BUILTIN_MIXTURES[selector - 1];
        lib = builtin_library(b);
        if (lib->AlphaChar != expected_K) {
            std::fprintf(stderr, "Internal default mixture (%s) has %d characters\n", b.name,
                         lib->AlphaChar);
            std::fprintf(stderr, "rather than the %d expected.  Not using mixture.\n", expected_K);
            free_PriorLib(&lib);
            return nullptr;
        }
        if (report) std::fprintf(report, "%% Prior File:  Internal (Name: %s) \n", b.name);
    }
    finish_library(lib, report);
    return lib;
}

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

// The shortest "%g" form of v that reads back to exactly v.
static std::string exact_number(double v) {
    char buf[40];
    for (int precision = 6; precision <= 17; precision++) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

void write_PriorLib(FILE *out, const PriorLib *lib) {
    std::fprintf(out, "AlphaChar= %d\n", lib->AlphaChar);
    std::fprintf(out, "NumDistr= %d\n", lib->NumDistr);
    for (int c = 0; c < lib->NumDistr; c++) {
        std::fprintf(out, "Number= %d\n", c);
        std::fprintf(out, "Mixture= %s\n", exact_number(lib->Mix[c]).c_str());
        std::fputs("Alpha= ", out);
        for (int j = 0; j <= lib->AlphaChar; j++)
            std::fprintf(out, "%s ", exact_number(lib->Distr[c][j]).c_str());
        std::fputc('\n', out);
    }
}

// A C string literal of text: quotes, backslashes and control bytes escaped.
static std::string c_literal(const char *text) {
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += (char)*p;
        } else if (*p < 0x20 || *p >= 0x7f || *p == '?') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", *p);
            out += buf;
        } else {
            out += (char)*p;
        }
    }
    return out + "\"";
}

void write_PriorLib_C(const char *base_name, const char *macro, const PriorLib *lib) {
    FILE *out = open_outputfile(base_name, ".c");
    std::fputs("/* C prior created using the dervolt program */\n", out);
    std::fprintf(out, "#define PRIOR%s %s\n", macro, macro);
    std::fprintf(out, "static PriorLib *\nPRIOR%s()\n{\n   PriorLib *temp;\n", base_name);
    if (lib->Name)
        std::fprintf(out, "   temp = alloc_PriorLib (%d, %d, %s, %s);\n", lib->NumDistr,
                     lib->AlphaChar, c_literal(lib->Name).c_str(),
                     lib->FileName ? c_literal(lib->FileName).c_str() : "NULL");
    else
        std::fprintf(out, "   temp = alloc_PriorLib (%d, %d, NULL, NULL);\n", lib->NumDistr,
                     lib->AlphaChar);
    for (int c = 0; c < lib->NumDistr; c++) {
        std::fprintf(out, "   temp->Mix[%d]=%s;\n", c, exact_number(lib->Mix[c]).c_str());
        for (int j = 0; j <= lib->AlphaChar; j++)
            std::fprintf(out, "   temp->Distr[%d][%d] = %s;\n", c, j,
                         exact_number(lib->Distr[c][j]).c_str());
    }
    std::fputs("   return temp;\n}\n", out);
    close_outputfile(out);
}

// ---------------------------------------------------------------------------------------------
// log-Beta and the posterior-mean estimate
// ---------------------------------------------------------------------------------------------

double calc_logB(const double *v, int n) {
    double sum = 0.0, lg = 0.0;
    for (int i = 0; i < n; i++) {
        lg += std::lgamma(v[i]);
        sum += v[i];
    }
    return lg - std::lgamma(sum);
}

double calc_logBf(const double *v, int n) {
    return calc_logB(v, n);
}

// The estimate of K counts in place (no codon handling).
static void estimate_table(float *table, PriorLib *lib, double s) {
    int K = lib->AlphaChar, N = lib->NumDistr;
    if (N <= 0 || K <= 0) return;
    std::vector<double> x((size_t)K), sum_xa((size_t)K), L((size_t)N), e((size_t)K, 0.0);
    double X = 0.0;
    for (int i = 0; i < K; i++) {
        x[(size_t)i] = table[i] / s;
        X += x[(size_t)i];
    }
    double M = 0.0;
    for (int c = 0; c < N; c++) {
        const double *alpha = lib->Distr[c] + 1;
        if (lib->logBeta[c] == 0.0) lib->logBeta[c] = calc_logB(alpha, K);
        for (int i = 0; i < K; i++) sum_xa[(size_t)i] = x[(size_t)i] + alpha[i];
        L[(size_t)c] = calc_logB(sum_xa.data(), K) - lib->logBeta[c];
        if (c == 0 || L[(size_t)c] > M) M = L[(size_t)c];
    }
    for (int c = 0; c < N; c++) {
        double w = lib->Mix[c] * std::exp(L[(size_t)c] - M);
        const double *alpha = lib->Distr[c] + 1;
        double denom = X + lib->Distr[c][0];
        for (int i = 0; i < K; i++) e[(size_t)i] += w * (x[(size_t)i] + alpha[i]) / denom;
    }
    double T = 0.0;
    for (int i = 0; i < K; i++) T += e[(size_t)i];
    // A mixture without weight (every coefficient 0) has no estimate: the counts stay.
    if (!(T > 0.0) || !std::isfinite(T)) return;
    double total = X * s;
    for (int i = 0; i < K; i++)
        table[i] = (float)(total == 0.0 ? e[(size_t)i] / T : e[(size_t)i] / T * total);
}

void adapt_freq_table(float *table, PriorLib *lib, const float *codon_reg, double s, double w) {
    if (!(s > 0.0)) error("adapt_freq_table: count scale %g must be positive", s);
    if (!codon_reg) {
        estimate_table(table, lib, s);
        return;
    }
    if (lib->AlphaChar != NUM_AMINO_ACIDS)
        error("adapt_freq_table: prior library has %d letters, a codon table needs %d",
              lib->AlphaChar, NUM_AMINO_ACIDS);
    float *protein = static_cast<float *>(mem_alloc(NUM_AMINO_ACIDS * sizeof(float)));
    setprotfromcod(protein, table);
    estimate_table(protein, lib, s);
    setcodfromprot_reg(table, protein, table, codon_reg, w);
    std::free(protein);
}

// Transition values at the head of a node's parameter block (the emission tables follow).
constexpr int NODE_TRANSITION_VALUES = 9;

void adapt_frequencies(Model *counts, PriorLib *lib, const float *codon_reg, double s, double w) {
    if (!counts || !lib) return;
    for (int i = 1; i <= counts->length; i++) {
        Node *node = counts->nodes[i];
        const float *reg = node->type == CODON_TYPE_C ? codon_reg : nullptr;
        int letters = reg ? NUM_AMINO_ACIDS : (node->nparams - NODE_TRANSITION_VALUES) / 2;
        if (lib->AlphaChar != letters)
            error("adapt_frequencies: prior library has %d letters, node %d has %d", lib->AlphaChar,
                  i, letters);
        adapt_freq_table(node->match, lib, reg, s, w);
    }
}

void adapt_family_frequencies(Model **models, PriorLib *lib, int count, const float *codon_reg,
                              double s, double w) {
    static bool noted = false;
    if (!noted) {
        std::fputs("adapt_family_frequencies is not implemented for families.\n", stderr);
        std::fputs("Calling adapt_frequencies on each family individually.\n", stderr);
        noted = true;
    }
    if (!lib) return;
    for (int f = 0; f < count; f++)
        if (models[f]) adapt_frequencies(models[f], lib, codon_reg, s, w);
}

// ---------------------------------------------------------------------------------------------
// Transition priors
// ---------------------------------------------------------------------------------------------

// Bounds on the counts of a transition-prior library, so that a damaged header cannot ask for
// tables beyond any real use.
constexpr int TRANS_MAX_ENVS = 1 << 16;
constexpr int TRANS_MAX_STATES = 64;
constexpr int TRANS_MAX_COMPONENTS = 1 << 16;
// Line markers of the library file.
static const char TRANS_END_OF_ENV[] = "-----";

TransPriors *alloc_TransPriors(int L, int K) {
    if (L < 0 || K < 0) error("alloc_TransPriors: %d components over %d transitions", L, K);
    TransPriors *tp = static_cast<TransPriors *>(mem_alloc(sizeof(TransPriors)));
    tp->K = K;
    tp->L = L;
    tp->Mix = static_cast<double *>(mem_alloc((size_t)L * sizeof(double)));
    tp->Distr = static_cast<double **>(mem_alloc((size_t)L * sizeof(double *)));
    for (int c = 0; c < L; c++)
        tp->Distr[c] = static_cast<double *>(mem_alloc(((size_t)K + 1) * sizeof(double)));
    tp->comments = static_cast<char **>(mem_alloc((size_t)L * sizeof(char *)));
    return tp;
}

void free_TransPriors(TransPriors *tp) {
    if (!tp) return;
    for (int c = 0; c < tp->L; c++) {
        std::free(tp->Distr[c]);
        std::free(tp->comments[c]);
    }
    std::free(tp->Distr);
    std::free(tp->comments);
    std::free(tp->Mix);
    std::free(tp);
}

EnvPlib *alloc_EnvPlib(int nstates) {
    if (nstates < 0) error("alloc_EnvPlib: %d states", nstates);
    EnvPlib *env = static_cast<EnvPlib *>(mem_alloc(sizeof(EnvPlib)));
    env->nstates = nstates;
    env->trans = static_cast<TransPriors **>(mem_alloc((size_t)nstates * sizeof(TransPriors *)));
    return env;
}

void free_EnvPlib(EnvPlib *env) {
    if (!env) return;
    std::free(env->trans);
    std::free(env);
}

void free_TransPriorsLib(EnvPlib **lib, int nenv) {
    if (!lib) return;
    for (int e = 0; e < nenv; e++) {
        if (!lib[e]) continue;
        for (int s = 0; s < lib[e]->nstates; s++) free_TransPriors(lib[e]->trans[s]);
        free_EnvPlib(lib[e]);
    }
    std::free(lib);
}

void makeEnvCodes(EnvCodeTable **table, int bins, int classes) {
    if (bins <= 0 || classes <= 0 || bins > TRANS_MAX_ENVS / classes)
        error("makeEnvCodes: %d accessibility bins by %d classes", bins, classes);
    free_EnvCodes(*table);
    EnvCodeTable *t = static_cast<EnvCodeTable *>(mem_alloc(sizeof(EnvCodeTable)));
    t->bins = bins;
    t->classes = classes;
    t->codes = reinterpret_cast<int **>(double_alloc((size_t)bins, (size_t)classes, sizeof(int)));
    for (int b = 0; b < bins; b++)
        for (int c = 0; c < classes; c++) t->codes[b][c] = b * classes + c;
    *table = t;
}

void free_EnvCodes(EnvCodeTable *table) {
    if (!table) return;
    double_free(reinterpret_cast<void **>(table->codes), (size_t)table->bins);
    std::free(table);
}

// Drops leading and trailing white space of a text in place.
static char *trim(char *text) {
    while (is_space(*text)) text++;
    size_t n = std::strlen(text);
    while (n > 0 && is_space(text[n - 1])) text[--n] = '\0';
    return text;
}

int getEnvCode(char *text, const EnvCodeTable *table) {
    if (std::strstr(text, ENV_JUST_DMI)) return 0;
    if (!table) {
        std::fputs("ERROR: Don't know this environment code.\n\n", stderr);
        return 0;
    }
    char *comma = std::strchr(text, ',');
    if (!comma) return -1;
    *comma = '\0';
    char *structure = trim(text);
    char *bin_text = trim(comma + 1);
    char *end = nullptr;
    errno = 0;
    long bin = std::strtol(bin_text, &end, 10);
    if (end == bin_text || *end != '\0' || errno == ERANGE) return -1;
    int cls = StructureFromTriple4(structure);
    if (bin < 0 || bin >= table->bins || cls < 0 || cls >= table->classes) return -1;
    return table->codes[bin][cls];
}

// The integer after key at the start of text, white space allowed before it and anything after
// it ignored; a value past the int range is held at its end, so that the caller's range test
// refuses it. False (*out unchanged) when text does not begin with key or no number follows.
static bool keyed_int(const char *text, const char *key, int *out) {
    size_t n = std::strlen(key);
    if (std::strncmp(text, key, n) != 0) return false;
    const char *p = text + n;
    return scan_int(p, p + std::strlen(p), out) != nullptr;
}

// Reading state of a transition-prior library.
static char *trans_line(InputReader *r) {
    char *line;
    size_t length;
    if (!reader_line(r, &line, &length)) return nullptr;
    if (length > 0 && line[length - 1] == '\r') line[length - 1] = '\0';
    return line;
}

[[noreturn]] static void trans_fail(InputReader *r, const char *what) {
    error("%s(%ld): %s in transition prior library", shown_text(r->name).c_str(), r->line_number,
          what);
}

static char *trans_required_line(InputReader *r, bool skip_empty) {
    for (;;) {
        char *line = trans_line(r);
        if (!line) {
            r->line_number++;
            trans_fail(r, "unexpected end of file");
        }
        if (!skip_empty || *trim(line)) return line;
    }
}

// The text after the first word of a line.
static char *after_first_word(char *line) {
    while (is_space(*line)) line++;
    while (*line && !is_space(*line)) line++;
    return line;
}

// What a transition-prior reading has made so far, released when a fatal error is thrown to a
// test harness (the stream closed, the library and the tables freed).
struct TransReadHold {
    FILE *fp = nullptr;
    InputReader *reader = nullptr;
    EnvPlib **lib = nullptr;
    int nenv = 0;
    EnvCodeTable *own = nullptr;
    TransPriors *tp = nullptr;
    ~TransReadHold() {
        free_TransPriors(tp);
        free_EnvCodes(own);
        free_TransPriorsLib(lib, nenv);
        if (reader) reader_free(reader);
        if (fp) close_read(fp);
    }
};

TransPriors *read_StateTransPriors(InputReader *r, int K) {
    int L = 0;
    char *line = trans_required_line(r, true);
    if (!keyed_int(trim(line), "L=", &L)) trans_fail(r, "expected \"L= <components>\"");
    if (L <= 0 || L > TRANS_MAX_COMPONENTS) trans_fail(r, "component count out of range");
    TransReadHold hold;
    TransPriors *tp = hold.tp = alloc_TransPriors(L, K);
    for (int n = 0; n < L; n++) {
        int c = -1;
        line = trans_required_line(r, true);
        if (!keyed_int(trim(line), "Number=", &c))
            trans_fail(r, "expected \"Number= <component>\"");
        if (c < 0 || c >= L) trans_fail(r, "component number outside 0..L-1");
        line = trans_required_line(r, false);
        if (std::sscanf(trim(line), "Mixture= %lf", &tp->Mix[c]) != 1)
            trans_fail(r, "expected \"Mixture= <coefficient>\"");
        line = after_first_word(trans_required_line(r, false));
        for (int j = 0; j <= K; j++) {
            char *end = nullptr;
            double v = std::strtod(line, &end);
            if (end == line || !std::isfinite(v))
                trans_fail(r, "parameter line without K+1 numbers");
            tp->Distr[c][j] = v;
            line = end;
        }
        line = trim(after_first_word(trans_required_line(r, false)));
        std::free(tp->comments[c]);
        tp->comments[c] = *line ? str_dup(line) : nullptr;
    }
    hold.tp = nullptr;
    return tp;
}

void read_Env(InputReader *r, EnvPlib *env, const char *order, int K) {
    while (char *line = trans_line(r)) {
        if (std::strstr(line, TRANS_END_OF_ENV)) return;
        if (!std::strstr(line, "State")) continue;
        char *word = trim(after_first_word(line));
        const char *pos = *word ? std::strchr(order, *word) : nullptr;
        if (!pos) trans_fail(r, "state not in the library's Order");
        int s = (int)(pos - order);
        TransPriors *tp = read_StateTransPriors(r, K);
        free_TransPriors(env->trans[s]);
        env->trans[s] = tp;
    }
}

// The number after the first word of a line (EnvCoding section).
static int second_word_count(InputReader *r, char *line) {
    char *text = after_first_word(line);
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || v <= 0 || v > TRANS_MAX_ENVS) trans_fail(r, "count out of range");
    return (int)v;
}

EnvPlib **read_TransPriorsLib(const char *file, int *nenv, const EnvCodeTable *table) {
    FILE *fp = open_read(file, OPEN_FATAL);
    InputReader r;
    reader_init(&r, fp, file);
    TransReadHold hold;
    hold.fp = fp;
    hold.reader = &r;

    // Header, up to the first line beginning "Env" or '-'.
    int numenvs = 0, K = 0;
    std::string order_text;
    long order_line = 0;
    char *line;
    while ((line = trans_line(&r))) {
        if (std::strncmp(line, "Env", 3) == 0 || line[0] == '-') {
            reader_unget_line(&r);
            break;
        }
        // A line that names a count without the form "Name= n" at its start (a comment) is
        // skipped; a count read is checked.
        if (std::strstr(line, "NumEnvs")) {
            if (keyed_int(line, "NumEnvs=", &numenvs) && (numenvs <= 0 || numenvs > TRANS_MAX_ENVS))
                trans_fail(&r, "NumEnvs out of range");
        } else if (std::strstr(line, "AlphaChar")) {
            if (keyed_int(line, "AlphaChar=", &K) && (K <= 0 || K > TRANS_MAX_STATES))
                trans_fail(&r, "AlphaChar out of range");
        } else if (std::strstr(line, "Order")) {
            const char *eq = std::strchr(line, '=');
            order_text = eq ? eq + 1 : "";
            order_line = r.line_number;
        }
    }
    if (numenvs <= 0) trans_fail(&r, "no NumEnvs line");
    if (K <= 0) trans_fail(&r, "no AlphaChar line");
    // The state letters: the first character of each of K words.
    std::string order;
    {
        const char *p = order_text.c_str();
        while ((int)order.size() < K) {
            while (is_space(*p)) p++;
            if (!*p) break;
            order += *p;
            while (*p && !is_space(*p)) p++;
        }
        if ((int)order.size() < K)
            error("%s(%ld): Order line names %d of %d states in transition prior library",
                  shown_text(file).c_str(), order_line, (int)order.size(), K);
    }

    EnvPlib **lib = static_cast<EnvPlib **>(mem_alloc((size_t)numenvs * sizeof(EnvPlib *)));
    hold.lib = lib;
    hold.nenv = numenvs;
    for (int e = 0; e < numenvs; e++) lib[e] = alloc_EnvPlib(K);

    EnvCodeTable *own = nullptr;
    const EnvCodeTable *codes = table;
    int read = 0;
    while ((line = trans_line(&r))) {
        if (std::strncmp(line, "EnvCoding", 9) == 0) {
            int bins = 0, classes = 0;
            for (;;) {
                line = trans_required_line(&r, false);
                if (std::strstr(line, "EndEnvCoding")) break;
                if (std::strstr(line, "NumAccBin"))
                    bins = second_word_count(&r, line);
                else if (std::strstr(line, "NumEnvClasses"))
                    classes = second_word_count(&r, line);
            }
            if (bins <= 0 || classes <= 0)
                trans_fail(&r, "EnvCoding section without NumAccBin and NumEnvClasses");
            if (bins > TRANS_MAX_ENVS / classes) trans_fail(&r, "EnvCoding table too large");
            makeEnvCodes(&own, bins, classes);
            hold.own = own;
            codes = own;
        } else if (std::strncmp(line, "Env", 3) == 0) {
            const char *eq = std::strchr(line, '=');
            std::string text = eq ? eq + 1 : "";  // getEnvCode cuts it in place
            int e;
            if (std::strstr(text.c_str(), ENV_JUST_DMI))
                e = 0;
            else if (!codes)
                trans_fail(&r, "environment code without an EnvCoding table");
            else
                e = getEnvCode(&text[0], codes);
            if (e < 0) trans_fail(&r, "unknown environment code");
            if (e >= numenvs) trans_fail(&r, "environment index not below NumEnvs");
            read_Env(&r, lib[e], order.c_str(), K);
            read++;
        }
    }
    hold.own = nullptr;
    hold.lib = nullptr;
    hold.reader = nullptr;
    hold.fp = nullptr;
    free_EnvCodes(own);
    reader_free(&r);
    close_read(fp);

    if (read == numenvs)
        std::fprintf(stderr, "Transition priors for %d environment(s) read from %s.\n", read,
                     shown_text(file).c_str());
    else
        std::fprintf(stderr,
                     "The number of environment transition priors read (%d)\n does not match the "
                     "number specified(%d) in %s.\n\n",
                     read, numenvs, shown_text(file).c_str());
    *nenv = numenvs;
    return lib;
}

void env_pseudocounts(const EnvPlib *env, int target, float out[3]) {
    for (int s = 0; s < 3; s++) {
        const TransPriors *tp = (env && s < env->nstates) ? env->trans[s] : nullptr;
        if (!tp || tp->L <= 0) {
            out[s] = 0.0f;
            continue;
        }
        if (target < 0 || target >= tp->K)
            error("env_pseudocounts: target %d not in the library's %d transitions", target, tp->K);
        out[s] = (float)tp->Distr[0][1 + target];
    }
}
