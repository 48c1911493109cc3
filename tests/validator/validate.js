#!/usr/bin/env node
// Runs the Khronos glTF validator on one .gltf or .glb file, with the buffers
// and images it refers to read from beside it. Exits 0 when the report holds
// no error; otherwise prints every message and exits 1. Exits 2 when the file
// cannot be read or is neither glTF nor GLB.

'use strict';

const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const kSeverityNames = ['error', 'warning', 'info', 'hint'];

function readResource(assetPath, uri) {
    return new Promise((resolve, reject) => {
        const resourcePath = path.resolve(path.dirname(assetPath), decodeURIComponent(uri));
        fs.readFile(resourcePath, (error, data) => {
            if (error) reject(error.toString());
            else resolve(new Uint8Array(data));
        });
    });
}

async function main(argv) {
    if (argv.length !== 1) {
        console.error('usage: node validate.js FILE.gltf|FILE.glb');
        return 2;
    }
    const assetPath = path.resolve(argv[0]);
    let bytes;
    try {
        bytes = new Uint8Array(fs.readFileSync(assetPath));
    } catch (error) {
        console.error(`${argv[0]}: ${error.message}`);
        return 2;
    }
    let report;
    try {
        report = await validator.validateBytes(bytes, {
            uri: path.basename(assetPath),
            maxIssues: 0,
            writeTimestamp: false,
            externalResourceFunction: (uri) => readResource(assetPath, uri),
        });
    } catch (error) {
        console.error(`${argv[0]}: ${error}`);
        return 2;
    }
    const issues = report.issues;
    if (issues.numErrors === 0) return 0;
    for (const message of issues.messages) {
        const where = message.pointer ? ` at ${message.pointer}` : '';
        console.error(`${argv[0]}: ${kSeverityNames[message.severity]} ${message.code}${where}: ${message.message}`);
    }
    console.error(`${argv[0]}: ${issues.numErrors} errors, ${issues.numWarnings} warnings`);
    return 1;
}

main(process.argv.slice(2)).then((code) => {
    process.exitCode = code;
});
