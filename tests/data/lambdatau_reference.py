#!/usr/bin/env python3
"""Reference values for the lambda and tau fit, computed independently with mpmath (30 digits):
eta by mpmath.altzeta, the logarithm of 2 Gamma(s+1) eta(s), the moments E(x^k) of
F(x) = (1 + exp(-(lambda x)^tau))^-1 (symmetric about 0) and, for samples of size n, the
standard deviations of the method-of-moments estimates of tau and lambda (delta method from the
moments up to the 8th). Writes lambdatau_reference.txt beside this script:
  log_int <s> <ln(2 Gamma(s+1) eta(s))>
  moment <lambda> <tau> <k> <E(x^k)>
  sigma <lambda> <tau> <n> <sd of tau estimate> <sd of lambda estimate>
Run: python3 tests/data/lambdatau_reference.py"""
import os
import mpmath as mp

mp.mp.dps = 30


def log_int(s):
    return mp.log(2 * mp.gamma(s + 1) * mp.altzeta(s))


def moment(lam, tau, k):
    # E(x^k) for even k: 2 Gamma(k/tau + 1) eta(k/tau) / lambda^k
    return mp.e ** log_int(mp.mpf(k) / tau) / mp.mpf(lam) ** k


def log_ratio(tau):
    return log_int(4 / tau) - 2 * log_int(2 / tau)


def sigmas(lam, tau, n):
    m = {k: moment(lam, tau, k) for k in (2, 4, 6, 8)}
    var2 = (m[4] - m[2] ** 2) / n
    var4 = (m[8] - m[4] ** 2) / n
    cov = (m[6] - m[2] * m[4]) / n
    # r = ln m4 - 2 ln m2; tau = g^-1(r) with g = log_ratio
    dr_dm4, dr_dm2 = 1 / m[4], -2 / m[2]
    gp = mp.diff(log_ratio, tau)
    dtau_dm4, dtau_dm2 = dr_dm4 / gp, dr_dm2 / gp
    var_tau = dtau_dm4 ** 2 * var4 + dtau_dm2 ** 2 * var2 + 2 * dtau_dm4 * dtau_dm2 * cov
    # ln lambda = (log_int(2/tau) - ln m2) / 2
    h = mp.diff(lambda t: log_int(2 / t), tau) / 2
    dl_dm4 = h * dtau_dm4
    dl_dm2 = h * dtau_dm2 - 1 / (2 * m[2])
    var_ll = dl_dm4 ** 2 * var4 + dl_dm2 ** 2 * var2 + 2 * dl_dm4 * dl_dm2 * cov
    return mp.sqrt(var_tau), lam * mp.sqrt(var_ll)


lines = []
for s in ('1.2', '1.5', '2', '2.5', '3', '4', '6', '10', '20'):
    lines.append('log_int %s %s' % (s, mp.nstr(log_int(mp.mpf(s)), 20)))
for lam, tau in (('1', '1'), ('0.3', '0.5'), ('2', '1.3'), ('0.05', '0.8'), ('1', '1.9')):
    for k in (2, 4):
        lines.append('moment %s %s %d %s' % (lam, tau, k,
                                             mp.nstr(moment(mp.mpf(lam), mp.mpf(tau), k), 20)))
for lam, tau, n in (('1', '1', 20000), ('0.3', '0.5', 20000), ('2', '1.3', 20000),
                    ('0.05', '0.8', 20000)):
    st, sl = sigmas(mp.mpf(lam), mp.mpf(tau), n)
    lines.append('sigma %s %s %d %s %s' % (lam, tau, n, mp.nstr(st, 8), mp.nstr(sl, 8)))
out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'lambdatau_reference.txt')
with open(out, 'w') as f:
    f.write('\n'.join(lines) + '\n')
