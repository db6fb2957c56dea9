#!/usr/bin/python3
"""Reads URL/metrics with the Prometheus client's own parser and prints one
line per sample: NAME{LABELS} VALUE. Exits non-zero when the text does not parse."""
import sys
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

text = urllib.request.urlopen(sys.argv[1] + "metrics", timeout=10).read().decode()
for family in text_string_to_metric_families(text):
    for sample in family.samples:
        labels = ",".join(f'{k}="{v}"' for k, v in sorted(sample.labels.items()))
        print(f"{sample.name}{{{labels}}} {sample.value}")
