// Validates a CycloneDX 1.5 JSON document against the schema with the library's strict validator:
// exits 0 when it is valid, 1 with the schema's findings when it is not.
//   NODE_PATH=build/tools/node_modules node validate_sbom.cjs FILE
const { Validation } = require('@cyclonedx/cyclonedx-library');
const fs = require('fs');

// The library's version names are the plain version numbers.
new Validation.JsonStrictValidator('1.5')
  .validate(fs.readFileSync(process.argv[2], 'utf8'))
  .then((findings) => {
    if (findings) {
      console.log(JSON.stringify(findings, null, 2));
      process.exit(1);
    }
  })
  .catch((error) => {
    console.error(error);
    process.exit(2);
  });
